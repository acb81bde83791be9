#include "diag/trace_format.h"

#include <cstring>
#include <memory>
#include <new>

#include "text/format_text.h"

namespace {

constexpr std::size_t kPartSize = 2000;  // at most 1999 bytes and a NUL
constexpr std::size_t kLineSize = 2 * kPartSize;

}  // namespace

void WriteTraceLine(TraceSink sink, const TraceClock& clock, const char* sourcePath,
                    int lineNumber, const char* format, va_list args) {
  std::unique_ptr<char[]> message(new (std::nothrow) char[kPartSize]);
  std::unique_ptr<char[]> prefix(new (std::nothrow) char[kPartSize]);
  std::unique_ptr<char[]> line(new (std::nothrow) char[kLineSize]);
  if (!message || !prefix || !line) return;

  char timeText[128];
  FormatText(timeText, sizeof timeText, "%02d:%02d:%02d.%03d", clock.hour, clock.minute,
             clock.second, clock.millisecond);
  FormatText(prefix.get(), kPartSize, "$$ [%s] %s<%d>:\t", timeText, sourcePath, lineNumber);
  FormatTextV(message.get(), kPartSize, format, args);

  const std::size_t prefixLength = std::strlen(prefix.get());
  std::memcpy(line.get(), prefix.get(), prefixLength);
  std::strcpy(line.get() + prefixLength, message.get());
  sink(line.get());
}
