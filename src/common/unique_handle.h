#pragma once

#include <windows.h>

// Sole owner of one handle that `Close` releases; closes it once.
template <typename Handle, BOOL(WINAPI* Close)(Handle)>
class UniqueResource {
 public:
  constexpr UniqueResource() noexcept = default;
  explicit UniqueResource(Handle handle) noexcept : m_handle(handle) {}
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : m_handle(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueResource() { reset(); }

  Handle get() const noexcept { return m_handle; }
  explicit operator bool() const noexcept { return m_handle != nullptr; }

  Handle release() noexcept {
    Handle handle = m_handle;
    m_handle = nullptr;
    return handle;
  }

  void reset(Handle handle = nullptr) noexcept {
    if (m_handle) Close(m_handle);
    m_handle = handle;
  }

 private:
  Handle m_handle = nullptr;
};

// Kernel objects: events and threads.
using UniqueHandle = UniqueResource<HANDLE, CloseHandle>;
