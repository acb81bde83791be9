#include "gtest_notification.h"

#include <windows.h>

#include <cstdlib>

namespace testing {
namespace internal {

Notification::Notification() : m_event(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
  if (!m_event) std::abort();
}

Notification::~Notification() { CloseHandle(m_event); }

void Notification::Notify() { SetEvent(m_event); }

void Notification::WaitForNotification() { WaitForSingleObject(m_event, INFINITE); }

}  // namespace internal
}  // namespace testing
