#pragma once

#include <windows.h>

// A job owns its argument from the moment it is queued and, before it signals
// completion, releases it or hands it on to DeferJob.
using JobProc = void(WINAPI*)(void* argument);

// Releases an argument that could not be queued; the job never sees it.
using JobArgumentRelease = void (*)(void* argument);
