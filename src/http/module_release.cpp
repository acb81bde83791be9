#include "http/module_release.h"

#include "common/deadline.h"
#include "diag/trace.h"
#include "http/attempt_context.h"
#include "http/callback_gate.h"
#include "http/release_rules.h"

namespace {

// Closing callbacks come within microseconds of the worker's last close, and a callback
// only sets an event or two.
constexpr DWORD kUnloadWaitMs = 100;

void PinModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                     reinterpret_cast<LPCSTR>(&PinModule), &module);
}

}  // namespace

void ReleaseModuleAfterWinInet(HANDLE workerThread) {
  const bool workerEnded = !workerThread || WaitForSingleObject(workerThread, 0) == WAIT_OBJECT_0;
  const DWORD deadline = GetTickCount() + kUnloadWaitMs;
  for (;;) {
    CountCallbacksLeft();
    const ReleaseFacts facts{workerEnded, WinInetMayStillCallBack(), CallbacksInside(), HasPassed(deadline)};
    switch (NextReleaseStep(facts)) {
      case ReleaseStep::LetGo:
        return;
      case ReleaseStep::AwaitRequests:
        AwaitNoContexts(MsUntil(deadline));
        break;
      case ReleaseStep::AwaitCallbacks:
        AwaitCallbackLeaving(MsUntil(deadline));
        break;
      case ReleaseStep::Pin:
        DebugTrace(__FILE__, __LINE__, "unload: kept loaded (worker %s, requests %s, callbacks inside %ld)\n",
                   facts.workerEnded ? "ended" : "running", facts.requestsOutstanding ? "outstanding" : "none",
                   facts.callbacksInside);
        PinModule();
        return;
    }
  }
}
