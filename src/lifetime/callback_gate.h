#pragma once

#include <windows.h>

// WinINet runs the status callback on threads of its own, and the module may be unmapped only
// when none of them can be in its code. So a callback counts itself in as its first instruction
// (g_callbacksEntered) and, as its last, jumps into kernel32's ReleaseSemaphore on
// g_callbackExitSemaphore, which returns straight to WinINet: the signal "this thread has left"
// is sent from outside the module, as FreeLibraryAndExitThread sends it for a thread. A callback
// has left once its release was counted here. The count cannot see a callback that WinINet is
// about to start: what rules those out is that HANDLE_CLOSING is a handle's last callback
// (module_release.h).
extern "C" {
extern LONG volatile g_callbacksEntered;
extern HANDLE g_callbackExitSemaphore;
}

// Makes the semaphore before the first callback can run; false when it cannot be made.
bool CallbackGateReady();

// Counts the releases made so far, so that few are left to count at the unload; any thread.
void CountCallbacksLeft();

// Callbacks entered and not yet counted as left.
LONG CallbacksInside();

// Waits up to `limitMs` for one more release; true when one was counted.
bool AwaitCallbackLeaving(DWORD limitMs);
