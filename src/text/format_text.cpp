#include "text/format_text.h"

#include <cstdio>

int FormatTextV(char* out, std::size_t size, const char* format, va_list args) {
#ifdef _WIN32
  va_list again;
  va_copy(again, args);
  int length = size > 0 ? _vsnprintf(out, size, format, args) : -1;
  // The runtime's variant returns -1 and leaves no terminator when it cuts.
  if (length < 0 || static_cast<std::size_t>(length) >= size) {
    if (size > 0) out[size - 1] = '\0';
    length = _vscprintf(format, again);
  }
  va_end(again);
  return length;
#else
  return std::vsnprintf(out, size, format, args);
#endif
}

int FormatText(char* out, std::size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int length = FormatTextV(out, size, format, args);
  va_end(args);
  return length;
}
