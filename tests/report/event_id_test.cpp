#include "report/event_id.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

std::string Format(uint32_t data1, uint16_t data2, uint16_t data3, const uint8_t (&data4)[8]) {
  char out[64];
  std::memset(out, 'x', sizeof out);
  FormatEventId(out, data1, data2, data3, data4);
  EXPECT_EQ(std::strlen(out), 32u);
  return out;
}

TEST(FormatEventId, ThirdGroupLowerCaseOthersUpperCaseAllZeroPadded) {
  // {3F2504E0-4F89-41D3-9A0C-0305E82C3301}
  EXPECT_EQ(Format(0x3F2504E0, 0x4F89, 0x41D3, {0x9A, 0x0C, 0x03, 0x05, 0xE8, 0x2C, 0x33, 0x01}),
            "3F2504E04F8941d39A0C0305E82C3301");
  EXPECT_EQ(Format(0xFFFFFFFF, 0xFFFF, 0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),
            "FFFFFFFFFFFFffffFFFFFFFFFFFFFFFF");
  EXPECT_EQ(Format(0x1, 0x2, 0xAB, {0x0, 0x1, 0xA, 0xB, 0xC, 0xD, 0xE, 0xF}),
            "00000001000200ab00010A0B0C0D0E0F");
}

}  // namespace
