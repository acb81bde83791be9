#include "plugin/prologue.h"

#include "worker/module.h"
#include "worker/worker.h"

bool g_callbackRegistered = false;

UINT_PTR PluginCallback(NSPIM message) {
  // Unloading does not stop the worker: the script does that with NSWaitDone.
  if (message != NSPIM_UNLOAD && message != NSPIM_GUIUNLOAD) {
    OutputDebugStringA("NSUTILS: Unknown callback message. Take care!\n");
  }
  return 0;
}

void BeginCommand(int stringSize, stack_t** stackTop, extra_parameters* extra) {
  g_stringSize = stringSize;
  g_stackTop = stackTop;
  if (!g_callbackRegistered && extra && extra->RegisterPluginCallback) {
    g_callbackRegistered = extra->RegisterPluginCallback(g_module, PluginCallback) == 0;
  }
  EnsureWorkerStarted();
}
