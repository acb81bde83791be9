#pragma once

#include "nsis/include/pluginapi.h"

// The exported commands, in the host's five-argument frame.
extern "C" {
void __cdecl NSGet(HWND, int, char*, stack_t**, extra_parameters*) noexcept;
void __cdecl NSGetAsync(HWND, int, char*, stack_t**, extra_parameters*) noexcept;
void __cdecl NSPost(HWND, int, char*, stack_t**, extra_parameters*) noexcept;
void __cdecl NSPostAsync(HWND, int, char*, stack_t**, extra_parameters*) noexcept;
void __cdecl NSPut(HWND, int, char*, stack_t**, extra_parameters*) noexcept;
void __cdecl NSPutAsync(HWND, int, char*, stack_t**, extra_parameters*) noexcept;
void __cdecl NSWaitDone(HWND, int, char*, stack_t**, extra_parameters*) noexcept;
}
