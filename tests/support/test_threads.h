#pragma once

// A mutex and a thread for the tests' servers and captures: the toolchains' win32 thread
// model gives libstdc++ no std::mutex and no std::thread.

#include <windows.h>

#include <functional>

// Lockable, for std::lock_guard.
class TestMutex {
 public:
  void lock() { AcquireSRWLockExclusive(&m_lock); }
  void unlock() { ReleaseSRWLockExclusive(&m_lock); }

 private:
  SRWLOCK m_lock = SRWLOCK_INIT;
};

// Runs `body` on a thread of its own; the destructor joins it if join() was not called.
// An exception leaving `body` ends the process, as with std::thread.
class TestThread {
 public:
  TestThread() = default;
  explicit TestThread(std::function<void()> body);
  TestThread(TestThread&& other) noexcept;
  TestThread& operator=(TestThread&& other) noexcept;
  ~TestThread();

  void join();

 private:
  static DWORD WINAPI Run(void* body) noexcept;
  HANDLE m_handle = nullptr;
};
