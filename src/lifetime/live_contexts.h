#pragma once

#include <windows.h>

// The count of attempt contexts that WinINet may still call back for: one from a context's
// making until its last HANDLE_CLOSING, after which WinINet calls back for it no more.

// Counts one more; false when the count cannot be kept (its event cannot be made).
bool ContextOpened();
// Counts one less.
void ContextClosed();

// Whether WinINet may still call into this module: some context still waits for the
// HANDLE_CLOSING of a request that WinINet holds.
bool WinInetMayStillCallBack();

// Waits up to `limitMs` for the last context to go; may return sooner, so the caller asks
// WinInetMayStillCallBack again.
void AwaitNoContexts(DWORD limitMs);
