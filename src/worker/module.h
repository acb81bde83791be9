#pragma once

#include <windows.h>

// The module's own handle, kept at process attach.
extern HMODULE g_module;

// Process attach: keeps the handle and creates the completion event.
void OnProcessAttach(HMODULE module);

// Process detach: closes the worker's and the event's handles. The worker itself is
// not stopped here: NSWaitDone or the host's unload message ends it.
void OnProcessDetach();
