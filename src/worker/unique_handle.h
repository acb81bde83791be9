#pragma once

#include <windows.h>

// Sole owner of one kernel handle (event, thread); closes it once.
class UniqueHandle {
 public:
  constexpr UniqueHandle() noexcept = default;
  explicit UniqueHandle(HANDLE handle) noexcept : m_handle(handle) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : m_handle(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueHandle() { reset(); }

  HANDLE get() const noexcept { return m_handle; }
  explicit operator bool() const noexcept { return m_handle != nullptr; }

  HANDLE release() noexcept {
    HANDLE handle = m_handle;
    m_handle = nullptr;
    return handle;
  }

  void reset(HANDLE handle = nullptr) noexcept {
    if (m_handle) CloseHandle(m_handle);
    m_handle = handle;
  }

 private:
  HANDLE m_handle = nullptr;
};
