// Each thread's exception state is its own: one thread inside a catch, another sees none.

#include <gtest/gtest.h>
#include <windows.h>

#include <exception>

#include "runtime/exception_memory.h"
#include "runtime/exception_state.h"
#include "support/test_threads.h"

extern "C" void** __cxa_get_globals() noexcept;  // its first member: the caught exceptions' header

// The runtime finds a caught object's header just before it: the header the DLL allocates.
TEST(ExceptionState, ThrownObjectsFollowTheirHeader) {
  try {
    throw 1;
  } catch (int& thrown) {
    EXPECT_EQ(reinterpret_cast<char*>(&thrown) - static_cast<char*>(*__cxa_get_globals()),
              static_cast<std::ptrdiff_t>(ThrownObjectHeaderSize()));
  }
}

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
