#include "diag/trace.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "diag/trace_format.h"
#include "text/utf8.h"
#include "text/wide_string.h"

namespace {

TraceClock Now() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return TraceClock{now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

void OutputUtf8Line(const char* line) {
  const std::size_t length = Utf8CutLength(line, std::strlen(line));
  const int count = static_cast<int>(length);
  WideString wide(static_cast<std::size_t>(count), L'\0');
  const int converted = count > 0 ? MultiByteToWideChar(CP_UTF8, 0, line, count, &wide[0], count) : 0;
  wide.resize(static_cast<std::size_t>(converted > 0 ? converted : 0));
  OutputDebugStringW(wide.c_str());
}

}  // namespace

void DebugTrace(const char* sourcePath, int lineNumber, const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteTraceLine([](const char* line) { OutputDebugStringA(line); }, Now(), sourcePath, lineNumber, format, args);
  va_end(args);
}

void DebugTraceW(const char* sourcePath, int lineNumber, const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteTraceLine(OutputUtf8Line, Now(), sourcePath, lineNumber, format, args);
  va_end(args);
}
