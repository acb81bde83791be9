#pragma once

// Writes one time-stamped line to the debugger output (OutputDebugStringA). Callable
// from any thread; keeps no state between calls.
void DebugTrace(const char* sourcePath, int lineNumber, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
