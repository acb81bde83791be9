#include "plugin/prologue.h"

#include "lifetime/module_release.h"
#include "optout/optout_settings.h"
#include "plugin/member_commands.h"
#include "report/report_tally.h"
#include "worker/module.h"
#include "worker/worker.h"

bool g_callbackRegistered = false;

UINT_PTR PluginCallback(NSPIM message) {
  // Commands may still follow NSPIM_GUIUNLOAD, but none follows NSPIM_UNLOAD.
  if (message == NSPIM_UNLOAD) {
    EndWorkerForUnload();
    TraceTallyAtUnload();
    ReleaseModuleAfterWinInet(g_workerThread.get());
  } else if (message != NSPIM_GUIUNLOAD) {
    OutputDebugStringA("NSUTILS: Unknown callback message. Take care!\n");
  }
  return 0;
}

void BeginCommand(HWND parent, int stringSize, TCHAR* variables, stack_t** stackTop, extra_parameters* extra) {
  NoteCommandStart();
  g_parentWindow = parent;
  g_stringSize = stringSize;
  g_variables = variables;
  g_stackTop = stackTop;
  g_execFlags = extra ? extra->exec_flags : nullptr;
  if (!g_callbackRegistered && extra && extra->RegisterPluginCallback) {
    g_callbackRegistered = extra->RegisterPluginCallback(g_module, PluginCallback) == 0;
  }
  if (ReportsEnabled()) EnsureWorkerStarted();
}
