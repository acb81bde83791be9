#pragma once

#include <windows.h>
#include <wininet.h>

// Sole owner of one WinINet handle (session, connection or request); closes it once.
class InternetHandle {
 public:
  constexpr InternetHandle() noexcept = default;
  explicit InternetHandle(HINTERNET handle) noexcept : m_handle(handle) {}
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
  ~InternetHandle() { reset(); }

  HINTERNET get() const noexcept { return m_handle; }
  explicit operator bool() const noexcept { return m_handle != nullptr; }

  void reset(HINTERNET handle = nullptr) noexcept {
    if (m_handle) InternetCloseHandle(m_handle);
    m_handle = handle;
  }

 private:
  HINTERNET m_handle = nullptr;
};
