#pragma once

#include <cstdarg>

// Local time of day of one trace line.
struct TraceClock {
  int hour;         // 0 to 23
  int minute;
  int second;
  int millisecond;
};

// Receives one finished trace line.
using TraceSink = void (*)(const char* line);

// Formats one trace line, "$$ [hh:mm:ss.mmm] <sourcePath><<lineNumber>>:\t<message>",
// and hands it to `sink`. The prefix and the message are each cut to 1999 bytes; no
// line end is added. Nothing is sent when the buffers cannot be allocated.
void WriteTraceLine(TraceSink sink, const TraceClock& clock, const char* sourcePath,
                    int lineNumber, const char* format, va_list args);
