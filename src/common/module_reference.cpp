#include "common/module_reference.h"

HMODULE AcquireModuleReference() noexcept {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCSTR>(&AcquireModuleReference), &module)) {
    return nullptr;
  }
  return module;
}

void ExitThreadReleasingModule(HMODULE reference, DWORD exitCode) noexcept {
  if (reference) FreeLibraryAndExitThread(reference, exitCode);
  ExitThread(exitCode);
}

void ReleaseModuleReferenceLater(HMODULE reference) noexcept {
  // FreeLibrary has the shape of a thread procedure: one pointer in, a 32-bit result out.
  const auto freeLibrary = reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void*>(&FreeLibrary));
  const HANDLE thread = CreateThread(nullptr, 0, freeLibrary, reference, CREATE_SUSPENDED, nullptr);
  if (!thread) return;  // the module then stays loaded: harmless at the process's end
  SetThreadPriority(thread, THREAD_PRIORITY_IDLE);
  ResumeThread(thread);
  CloseHandle(thread);
}
