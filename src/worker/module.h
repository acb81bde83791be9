#pragma once

#include <windows.h>

// The module's own handle, kept at process attach.
extern HMODULE g_module;

// Process attach: keeps the handle and creates the completion event.
void OnProcessAttach(HMODULE module);

// The C++ runtime makes a thread's exception state at its first throw, and ends the process
// when it cannot: made ahead (at attach on the host's thread, and by the worker as it starts),
// out of memory later in a command or a job is thrown and caught like any other failure.
void PrepareThreadForExceptions() noexcept;

// Process detach: closes the worker's and the event's handles. The worker itself is
// not stopped here: NSWaitDone or the host's unload message ends it.
void OnProcessDetach();
