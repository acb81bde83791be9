#pragma once

// Writes one time-stamped line to the debugger output (OutputDebugStringA). Callable
// from any thread; keeps no state between calls.
void DebugTrace(const char* sourcePath, int lineNumber, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// As DebugTrace, for UTF-8 texts: the line goes out through OutputDebugStringW, so a
// debugger shows the real characters. A character cut by the message limit is dropped
// whole.
void DebugTraceW(const char* sourcePath, int lineNumber, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
