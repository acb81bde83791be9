// Each thread's exception state is its own: one thread inside a catch, another sees none.

#include <gtest/gtest.h>
#include <windows.h>

#include <exception>

#include "runtime/exception_state.h"
#include "support/test_threads.h"

TEST(ExceptionState, EachThreadHasItsOwn) {
  HANDLE caught = CreateEventA(nullptr, TRUE, FALSE, nullptr), checked = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  TestThread inside([&] {
    try {
      throw 1;
    } catch (int) {
      SetEvent(caught);
      WaitForSingleObject(checked, INFINITE);
    }
    ReleaseThreadExceptionState();  // as DLL_THREAD_DETACH does
  });
  WaitForSingleObject(caught, INFINITE);
  bool anotherSeesNone = false;
  TestThread([&] { anotherSeesNone = !std::current_exception(); }).join();
  EXPECT_TRUE(anotherSeesNone && !std::current_exception());
  SetEvent(checked);
  inside.join();
}
