#pragma once

#include <windows.h>

// At the host's unload, once the worker was told to end (`workerThread`, null when none ran).
// Touches no thread and starts none. When nothing is outstanding (the worker ended, no request
// that WinINet can still call back for, every callback that entered has left), it returns and
// the host's FreeLibrary unmaps the module. Otherwise, after a short bounded wait, it pins the
// module, which then stays loaded, and its file in place, until the process ends.
//
// Why no thread can run module code after the unmap:
// - the host's thread returns from here before it calls FreeLibrary;
// - the worker holds a reference of its own and drops it with FreeLibraryAndExitThread, so its
//   last instruction is in kernel32; an unload that finds it still running pins the module;
// - WinINet calls back only for a request that holds a context, and none comes after that
//   context's last HANDLE_CLOSING (an answer kept unread has its callback removed first);
// - each callback counts itself in as its first instruction and is counted as left only by
//   kernel32's ReleaseSemaphore, which its last instruction jumps to (callback_gate.h).
// So once the worker has ended, no context is left and the releases equal the entries, every
// thread that ever ran module code is outside it, and none can enter it again.
void ReleaseModuleAfterWinInet(HANDLE workerThread);
