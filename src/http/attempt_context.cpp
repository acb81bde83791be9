#include "http/attempt_context.h"

#include <new>

#include "common/module_reference.h"

namespace {

std::atomic<LONG> g_liveContexts{0};
std::atomic<HMODULE> g_heldModule{nullptr};

void ReleaseHeldModule() {
  if (const HMODULE module = g_heldModule.exchange(nullptr)) ReleaseModuleReferenceLater(module);
}

}  // namespace

AttemptContext* AttemptContext::Create() {
  auto* context = new (std::nothrow) AttemptContext();
  if (!context) return nullptr;
  g_liveContexts.fetch_add(1);
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
  if (g_liveContexts.fetch_sub(1) == 1) ReleaseHeldModule();
}

// Runs on the calling thread inside some WinINet calls and on WinINet's threads otherwise:
// it takes no lock and only sets what the owner waits for. A connection reused from the
// pool sends no CONNECTED_TO_SERVER, but sending on it shows that it is there.
void CALLBACK AttemptContext::StatusCallback(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info,
                                             DWORD length) {
  auto* self = reinterpret_cast<AttemptContext*>(context);
  switch (status) {
    case INTERNET_STATUS_CONNECTED_TO_SERVER:
    case INTERNET_STATUS_SENDING_REQUEST:
      SetEvent(self->m_connected.get());
      break;
    case INTERNET_STATUS_REQUEST_SENT:
      self->m_requestSent.store(true);
      SetEvent(self->m_connected.get());
      break;
    case INTERNET_STATUS_REQUEST_COMPLETE:
      if (info && length >= sizeof(INTERNET_ASYNC_RESULT)) {
        self->m_result = *static_cast<const INTERNET_ASYNC_RESULT*>(info);
      } else {
        self->m_result = {0, ERROR_INTERNET_INTERNAL_ERROR};
      }
      SetEvent(self->m_completed.get());
      break;
    case INTERNET_STATUS_HANDLE_CLOSING:
      self->Release();
      break;
    default:
      break;
  }
}

bool WinInetMayStillCallBack() { return g_liveContexts.load() > 0; }

void HoldModuleWhileWinInetCallsBack() {
  if (g_liveContexts.load() == 0) return;
  g_heldModule.store(AcquireModuleReference());
  if (g_liveContexts.load() == 0) ReleaseHeldModule();  // the last one went meanwhile
}
