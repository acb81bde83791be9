#include "lifetime/module_reference.h"

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
