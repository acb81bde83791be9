#pragma once

#include "nsis/include/pluginapi.h"

// The exported commands, in the host's five-argument frame.
extern "C" {
void __cdecl NSGet(HWND, int, TCHAR*, stack_t**, extra_parameters*) noexcept;
void __cdecl NSGetAsync(HWND, int, TCHAR*, stack_t**, extra_parameters*) noexcept;
void __cdecl NSPost(HWND, int, TCHAR*, stack_t**, extra_parameters*) noexcept;
void __cdecl NSPostAsync(HWND, int, TCHAR*, stack_t**, extra_parameters*) noexcept;
void __cdecl NSPut(HWND, int, TCHAR*, stack_t**, extra_parameters*) noexcept;
void __cdecl NSPutAsync(HWND, int, TCHAR*, stack_t**, extra_parameters*) noexcept;
void __cdecl NSWaitDone(HWND, int, TCHAR*, stack_t**, extra_parameters*) noexcept;
void __cdecl NSEnabled(HWND, int, TCHAR*, stack_t**, extra_parameters*) noexcept;
void __cdecl NSAddContext(HWND, int, TCHAR*, stack_t**, extra_parameters*) noexcept;
void __cdecl NSSetField(HWND, int, TCHAR*, stack_t**, extra_parameters*) noexcept;
void __cdecl NSSetFormat(HWND, int, TCHAR*, stack_t**, extra_parameters*) noexcept;
void __cdecl NSGetError(HWND, int, TCHAR*, stack_t**, extra_parameters*) noexcept;
void __cdecl NSSetDeviceId(HWND, int, TCHAR*, stack_t**, extra_parameters*) noexcept;
void __cdecl NSMachineId(HWND, int, TCHAR*, stack_t**, extra_parameters*) noexcept;
void __cdecl NSAttachDetails(HWND, int, TCHAR*, stack_t**, extra_parameters*) noexcept;
void __cdecl NSAddDetail(HWND, int, TCHAR*, stack_t**, extra_parameters*) noexcept;
void __cdecl NSTally(HWND, int, TCHAR*, stack_t**, extra_parameters*) noexcept;
}
