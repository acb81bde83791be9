#include "lifetime/module_release.h"

#include <atomic>

#include "common/deadline.h"
#include "diag/trace.h"
#include "lifetime/callback_gate.h"
#include "lifetime/live_contexts.h"
#include "lifetime/release_rules.h"

namespace {

// Closing callbacks come within microseconds of the worker's last close, and a callback
// only sets an event or two.
constexpr DWORD kReleaseWaitMs = 100;

std::atomic<bool> g_pinned{false};

void PinModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                     reinterpret_cast<LPCSTR>(&PinModule), &module);
  g_pinned.store(true);
}

// Waits, bounded, until nothing can run module code, else pins the module; `moment` names the
// caller in the trace.
void ReleaseOrPin(bool workerEnded, const char* moment) {
  if (g_pinned.load()) return;
  const DWORD deadline = GetTickCount() + kReleaseWaitMs;
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
        DebugTrace(__FILE__, __LINE__, "%s: kept loaded (worker %s, requests %s, callbacks inside %ld)\n", moment,
                   facts.workerEnded ? "ended" : "running", facts.requestsOutstanding ? "outstanding" : "none",
                   facts.callbacksInside);
        PinModule();
        return;
    }
  }
}

}  // namespace

void ReleaseModuleAfterWinInet(HANDLE workerThread) {
  ReleaseOrPin(!workerThread || WaitForSingleObject(workerThread, 0) == WAIT_OBJECT_0, "unload");
}

void KeepModuleForWinInetAtWorkerEnd() { ReleaseOrPin(true, "worker end"); }
