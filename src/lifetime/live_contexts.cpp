#include "lifetime/live_contexts.h"

#include <atomic>

#include "common/unique_handle.h"

namespace {

std::atomic<LONG> g_liveContexts{0};
// Auto-reset, set as the last live context goes.
HANDLE ContextsGoneEvent() {
  static const UniqueHandle event(CreateEventA(nullptr, FALSE, FALSE, nullptr));
  return event.get();
}

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
