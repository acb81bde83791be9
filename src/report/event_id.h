#pragma once

#include <cstdint>

// Writes the event id of a GUID: 32 hexadecimal digits without separators, upper-case
// except the third group (digits 13 to 16), which is lower-case.
void FormatEventId(char (&out)[64], uint32_t data1, uint16_t data2, uint16_t data3,
                   const uint8_t (&data4)[8]);

#ifdef _WIN32
// Writes a fresh GUID's event id into `out`; false, and `out` unchanged, when none can
// be made.
bool MakeGuidText(char (&out)[64]) noexcept;

// Makes a fresh GUID and returns its event id, kept in one module-wide buffer that the
// next call overwrites. When no GUID can be made the previous id stays (the empty text
// before the first success). Not thread-safe: reports call it on one thread only.
const char* MakeEventId() noexcept;
#endif
