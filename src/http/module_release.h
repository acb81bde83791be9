#pragma once

#include <windows.h>

// WinINet runs the status callback, code of this module, on threads of its own, and may go
// on doing so after the host has freed the plug-in (a request given up while WinINet still
// works on it). The module must stay mapped until no such thread can be in its code: then,
// and not before, its last reference goes.
//
// Why that is safe: every callback is framed by EnterCallback and LeaveCallback, and makes
// no call after LeaveCallback, so a thread past it only returns out of the module. The
// release waits, in this order, for the worker to end (no new handles: a worker that outlives
// the unload's bound may still start and give up attempts), for the last context to go (no
// more callbacks: none comes after a context's last HANDLE_CLOSING), for no callback to be
// between the two, and for every thread that ever ran one to be outside the module's image
// (suspended for a look at its instruction pointer). Only then is the reference dropped, by
// FreeLibraryAndExitThread on a thread of its own, or by the host's FreeLibrary when all of
// this already holds at the unload.

// The first and the last step of the status callback; no call may follow LeaveCallback.
void EnterCallback();
void LeaveCallback();

// At the host's unload, once the worker was told to end (`workerThread`, null when none
// ran): returns at once. When the worker has ended and WinINet can no longer run module
// code, the host's FreeLibrary may unmap the module; otherwise a thread of the module holds
// a reference until that holds, and drops it then. When that cannot be shown within a bound
// (more callback threads than are tracked, a thread that cannot be looked at), the module
// stays loaded until the process ends.
void ReleaseModuleAfterWinInet(HANDLE workerThread);
