#include <windows.h>

#include "runtime/exception_state.h"
#include "worker/module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    if (!ExceptionStateReady()) return FALSE;
    OnProcessAttach(instance);
  }
  if (reason == DLL_THREAD_DETACH) ReleaseThreadExceptionState();
  if (reason == DLL_PROCESS_DETACH) OnProcessDetach();
  return TRUE;
}
