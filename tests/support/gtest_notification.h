#pragma once

// Google Test's Notification, which it builds on std::mutex and std::condition_variable,
// absent from GCC 12's win32 thread model: here a Windows event, handed to Google Test
// through GTEST_HAS_NOTIFICATION_ (cmake/googletest.cmake). It starts the threads of
// Google Test's own ThreadWithParam.

namespace testing {
namespace internal {

class Notification {
 public:
  Notification();
  ~Notification();
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  void Notify();
  void WaitForNotification();

 private:
  void* m_event;  // manual-reset
};

}  // namespace internal
}  // namespace testing
