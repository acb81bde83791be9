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
//   last instruction is in kernel32; an unload that finds it still running pins the module,
//   and the worker runs this same rule before it drops its reference;
// - what keeps a late callback out is WinINet's order, not a count: HANDLE_CLOSING is a handle's
//   last callback, and a context stays live (live_contexts.h) until its last handle's
//   HANDLE_CLOSING has run into the module (an answer kept unread has its callback removed
//   first, and gets none); once no context is live, WinINet starts no callback into it;
// - the callback count only tells when the callbacks already started, that last HANDLE_CLOSING
//   included, have left: each counts itself in with its first instruction, before its body can
//   let a context go, and is counted as left only by kernel32's ReleaseSemaphore, which its last
//   instruction jumps to (callback_gate.h).
// So once the worker has ended, no context is live and the releases equal the entries, every
// thread that ever ran module code is outside it, and none can enter it again.
void ReleaseModuleAfterWinInet(HANDLE workerThread);

// The same rule, run by the worker as it ends, before it drops its reference: a host that took
// no unload callback frees the module after every command, so that reference may be its last.
void KeepModuleForWinInetAtWorkerEnd();
