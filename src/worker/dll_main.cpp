#include <windows.h>

#include "worker/module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) OnProcessAttach(instance);
  if (reason == DLL_PROCESS_DETACH) OnProcessDetach();
  return TRUE;
}
