#pragma once

#include <windows.h>
#include <wininet.h>

// The status callback given to InternetSetStatusCallbackA; `context` is an AttemptContext.
// Its last instruction is a jump into ReleaseSemaphore (callback_gate.h): nothing of this
// module runs once its release can be counted.
extern "C" void CALLBACK KestrelStatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info,
                                               DWORD length);
