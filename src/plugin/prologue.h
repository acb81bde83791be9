#pragma once

#include "nsis/include/pluginapi.h"

// Set once the host has accepted PluginCallback; the host then keeps the module
// loaded between commands.
extern bool g_callbackRegistered;

UINT_PTR PluginCallback(NSPIM message);

// First steps of every command: keeps the frame for the stack helpers, the installer's
// variables, window and execution flags, registers the callback until the host accepts it, and starts the worker if
// needed and reports are on.
void BeginCommand(HWND parent, int stringSize, TCHAR* variables, stack_t** stackTop, extra_parameters* extra);
