#include "worker/module.h"

#include "worker/worker.h"

HMODULE g_module = nullptr;

void OnProcessAttach(HMODULE module) {
  g_module = module;
  g_jobDoneEvent.reset(CreateEventA(nullptr, TRUE, TRUE, nullptr));
}

void OnProcessDetach() {
  g_workerThread.reset();
  g_jobDoneEvent.reset();
}
