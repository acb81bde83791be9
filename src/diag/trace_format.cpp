#include "diag/trace_format.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr std::size_t kPartSize = 2000;  // at most 1999 bytes and a NUL
constexpr std::size_t kLineSize = 2 * kPartSize;

// vsnprintf cuts at the buffer's end; the terminator is written again in case the
// runtime's variant leaves it out when it cuts.
void FormatPart(char* part, const char* format, va_list args) {
  std::vsnprintf(part, kPartSize, format, args);
  part[kPartSize - 1] = '\0';
}

void FormatPart(char* part, const char* format, ...) {
  va_list args;
  va_start(args, format);
  FormatPart(part, format, args);
  va_end(args);
}

}  // namespace

void WriteTraceLine(TraceSink sink, const TraceClock& clock, const char* sourcePath,
                    int lineNumber, const char* format, va_list args) {
  std::unique_ptr<char[]> message(new (std::nothrow) char[kPartSize]);
  std::unique_ptr<char[]> prefix(new (std::nothrow) char[kPartSize]);
  std::unique_ptr<char[]> line(new (std::nothrow) char[kLineSize]);
  if (!message || !prefix || !line) return;

  char timeText[128];
  std::snprintf(timeText, sizeof timeText, "%02d:%02d:%02d.%03d", clock.hour, clock.minute,
                clock.second, clock.millisecond);
  FormatPart(prefix.get(), "$$ [%s] %s<%d>:\t", timeText, sourcePath, lineNumber);
  FormatPart(message.get(), format, args);

  const std::size_t prefixLength = std::strlen(prefix.get());
  std::memcpy(line.get(), prefix.get(), prefixLength);
  std::strcpy(line.get() + prefixLength, message.get());
  sink(line.get());
}
