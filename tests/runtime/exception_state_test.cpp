// Each thread's exception state is its own: one thread inside a catch, another sees none.

#include <gtest/gtest.h>
#include <windows.h>

#include <exception>

#include "runtime/exception_state.h"
#include "support/test_threads.h"

namespace {

TEST(ExceptionState, EachThreadHasItsOwn) {
  ASSERT_TRUE(ExceptionStateReady());
  HANDLE caught = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE checked = CreateEventA(nullptr, TRUE, FALSE, nullptr);
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
  TestThread([&] {
    anotherSeesNone = !std::current_exception();
    ReleaseThreadExceptionState();
  }).join();
  EXPECT_TRUE(anotherSeesNone);
  EXPECT_FALSE(std::current_exception());
  SetEvent(checked);
  inside.join();
  CloseHandle(caught);
  CloseHandle(checked);
}

}  // namespace
