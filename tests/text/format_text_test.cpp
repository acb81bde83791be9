#include "text/format_text.h"

#include <gtest/gtest.h>

namespace {

// C99's contract, which jsoncpp's number texts rely on too, whatever runtime formats.
TEST(FormatText, CutsTerminatesAndGivesTheWholeLength) {
  char out[4];
  EXPECT_EQ(FormatText(out, sizeof out, "%02X", 10), 2);
  EXPECT_STREQ(out, "0A");
  EXPECT_EQ(FormatText(out, sizeof out, "%s", "abcd"), 4);
  EXPECT_STREQ(out, "abc");
  EXPECT_EQ(FormatText(out, sizeof out, "%d-%s", -12, "abc"), 7);
  EXPECT_STREQ(out, "-12");
  EXPECT_EQ(FormatText(out, 0, "%s", "xy"), 2);
  EXPECT_STREQ(out, "-12");
}

}  // namespace
