#include "support/test_threads.h"

#include <memory>
#include <stdexcept>
#include <utility>

TestThread::TestThread(std::function<void()> body) {
  auto owned = std::make_unique<std::function<void()>>(std::move(body));
  m_handle = CreateThread(nullptr, 0, &TestThread::Run, owned.get(), 0, nullptr);
  if (!m_handle) throw std::runtime_error("CreateThread failed");
  owned.release();
}

TestThread::TestThread(TestThread&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}

TestThread& TestThread::operator=(TestThread&& other) noexcept {
  join();
  m_handle = std::exchange(other.m_handle, nullptr);
  return *this;
}

TestThread::~TestThread() { join(); }

void TestThread::join() {
  if (!m_handle) return;
  WaitForSingleObject(m_handle, INFINITE);
  CloseHandle(m_handle);
  m_handle = nullptr;
}

DWORD WINAPI TestThread::Run(void* body) noexcept {
  const std::unique_ptr<std::function<void()>> owned(static_cast<std::function<void()>*>(body));
  (*owned)();
  return 0;
}
