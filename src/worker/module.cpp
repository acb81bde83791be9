#include "worker/module.h"

#include <cstdlib>
#include <exception>

#include "worker/worker.h"

HMODULE g_module = nullptr;

void OnProcessAttach(HMODULE module) {
  g_module = module;
  PrepareThreadForExceptions();
  g_jobDoneEvent.reset(CreateEventA(nullptr, TRUE, TRUE, nullptr));
}

void OnProcessDetach() {
  g_workerThread.reset();
  g_jobDoneEvent.reset();
}

// Made only while memory is there, since the runtime ends the process when it cannot make
// it; the call is declared pure, so its result goes into a volatile for it to be made at all.
void PrepareThreadForExceptions() noexcept {
  void* probe = std::malloc(256);
  if (!probe) return;
  std::free(probe);
  volatile int uncaught = std::uncaught_exceptions();
  static_cast<void>(uncaught);
}
