#include "lifetime/live_contexts.h"

#include <atomic>

#include "common/unique_handle.h"

namespace {

std::atomic<LONG> g_liveContexts{0};
// Auto-reset, set as the last live context goes. Made as the module loads: a local static
// would need the runtime's guard for WinINet's threads that call in at once.
const UniqueHandle g_contextsGone(CreateEventA(nullptr, FALSE, FALSE, nullptr));

HANDLE ContextsGoneEvent() { return g_contextsGone.get(); }

}  // namespace

bool ContextOpened() {
  if (!ContextsGoneEvent()) return false;
  g_liveContexts.fetch_add(1);
  return true;
}

void ContextClosed() {
  if (g_liveContexts.fetch_sub(1) == 1) SetEvent(ContextsGoneEvent());
}

bool WinInetMayStillCallBack() { return g_liveContexts.load() > 0; }

void AwaitNoContexts(DWORD limitMs) {
  if (WinInetMayStillCallBack()) WaitForSingleObject(ContextsGoneEvent(), limitMs);
}
