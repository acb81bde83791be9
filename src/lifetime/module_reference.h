#pragma once

#include <windows.h>

// A thread that runs code of this module must keep the module loaded: the host frees
// the plug-in at the end of the installer, and a thread still inside it would then
// fault. Each such thread takes a reference before it is created and gives it back
// as its very last act.

// Returns a counted reference to the module holding this code, or null.
HMODULE AcquireModuleReference() noexcept;

// Ends the calling thread, releasing `reference` (if any) on the way out, so that no
// code of the module runs after the release.
[[noreturn]] void ExitThreadReleasingModule(HMODULE reference, DWORD exitCode) noexcept;
