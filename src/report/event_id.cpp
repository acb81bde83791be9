#include "report/event_id.h"

#include "text/format_text.h"

void FormatEventId(char (&out)[64], uint32_t data1, uint16_t data2, uint16_t data3,
                   const uint8_t (&data4)[8]) {
  FormatText(out, sizeof out, "%08X%04X%04x%02X%02X%02X%02X%02X%02X%02X%02X",
             static_cast<unsigned>(data1), static_cast<unsigned>(data2),
             static_cast<unsigned>(data3), static_cast<unsigned>(data4[0]),
             static_cast<unsigned>(data4[1]), static_cast<unsigned>(data4[2]),
             static_cast<unsigned>(data4[3]), static_cast<unsigned>(data4[4]),
             static_cast<unsigned>(data4[5]), static_cast<unsigned>(data4[6]),
             static_cast<unsigned>(data4[7]));
}
