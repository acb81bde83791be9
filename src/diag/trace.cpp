#include "diag/trace.h"

#include <windows.h>

#include "diag/trace_format.h"

void DebugTrace(const char* sourcePath, int lineNumber, const char* format, ...) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  const TraceClock clock{now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};

  va_list args;
  va_start(args, format);
  WriteTraceLine([](const char* line) { OutputDebugStringA(line); }, clock, sourcePath, lineNumber, format, args);
  va_end(args);
}
