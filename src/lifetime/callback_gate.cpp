#include "lifetime/callback_gate.h"

extern "C" {
LONG volatile g_callbacksEntered = 0;
HANDLE g_callbackExitSemaphore = nullptr;
}

namespace {

LONG volatile g_callbacksLeft = 0;

}  // namespace

bool CallbackGateReady() {
  if (InterlockedCompareExchangePointer(&g_callbackExitSemaphore, nullptr, nullptr)) return true;
  const HANDLE semaphore = CreateSemaphoreA(nullptr, 0, MAXLONG, nullptr);
  if (!semaphore) return false;
  // Lives as long as the process: a callback may release it after the module is gone.
  if (InterlockedCompareExchangePointer(&g_callbackExitSemaphore, semaphore, nullptr)) CloseHandle(semaphore);
  return true;
}

void CountCallbacksLeft() {
  while (AwaitCallbackLeaving(0)) {
  }
}

LONG CallbacksInside() {
  return InterlockedCompareExchange(&g_callbacksEntered, 0, 0) - InterlockedCompareExchange(&g_callbacksLeft, 0, 0);
}

bool AwaitCallbackLeaving(DWORD limitMs) {
  const HANDLE semaphore = InterlockedCompareExchangePointer(&g_callbackExitSemaphore, nullptr, nullptr);
  if (!semaphore || WaitForSingleObject(semaphore, limitMs) != WAIT_OBJECT_0) return false;
  InterlockedIncrement(&g_callbacksLeft);
  return true;
}
