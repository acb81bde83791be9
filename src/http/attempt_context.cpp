#include "http/attempt_context.h"

#include <new>

#include "lifetime/live_contexts.h"

AttemptContext* AttemptContext::Create() {
  auto* context = new (std::nothrow) AttemptContext();
  if (!context) return nullptr;
  if (!ContextOpened()) {
    delete context;
    return nullptr;
  }
  context->m_completed.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  context->m_connected.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!context->m_completed || !context->m_connected) {
    context->Release();
    return nullptr;
  }
  return context;
}

void AttemptContext::Release() {
  if (m_references.fetch_sub(1) != 1) return;
  delete this;
  ContextClosed();
}

// Runs on the calling thread inside some WinINet calls and on WinINet's threads otherwise:
// it takes no lock and only sets what the owner waits for. A connection reused from the
// pool sends no CONNECTED_TO_SERVER, but sending on it shows that it is there.
void AttemptContext::OnStatus(DWORD status, LPVOID info, DWORD length) {
  switch (status) {
    case INTERNET_STATUS_CONNECTED_TO_SERVER:
    case INTERNET_STATUS_SENDING_REQUEST:
      SetEvent(m_connected.get());
      break;
    case INTERNET_STATUS_REQUEST_SENT:
      m_requestSent.store(true);
      SetEvent(m_connected.get());
      break;
    case INTERNET_STATUS_REQUEST_COMPLETE:
      if (info && length >= sizeof(INTERNET_ASYNC_RESULT)) {
        m_result = *static_cast<const INTERNET_ASYNC_RESULT*>(info);
      } else {
        m_result = {0, ERROR_INTERNET_INTERNAL_ERROR};
      }
      SetEvent(m_completed.get());
      break;
    case INTERNET_STATUS_HANDLE_CLOSING:
      Release();
      break;
    default:
      break;
  }
}

