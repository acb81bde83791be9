#include "http/text_conversion.h"

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;

TEST(TextConversion, NothingGivesEmptyText) {
  EXPECT_EQ(Utf8ToWide(nullptr, 5), L"");
  EXPECT_EQ(Utf8ToWide("abc", 0), L"");
  EXPECT_EQ(WideToMultiByte(nullptr, 5, CP_UTF8), "");
  EXPECT_EQ(WideToMultiByte(L"abc", 0, CP_ACP), "");
}

TEST(TextConversion, CountsAreExplicitSoNulsSurvive) {
  const std::string bytes = "a\0b\xC3\xA9"s;
  const WideString wide = Utf8ToWide(bytes.data(), static_cast<int>(bytes.size()));
  EXPECT_EQ(wide, WideString(L"a\0b\u00e9", 4));
  EXPECT_EQ(WideToMultiByte(wide.data(), static_cast<int>(wide.size()), CP_UTF8), bytes);
  EXPECT_EQ(WideToMultiByte(wide.data(), static_cast<int>(wide.size()), CP_ACP), "a\0b\xE9"s);
}

TEST(TextConversion, UnconvertibleInputIsReplacedNotRefused) {
  const std::string malformed = "x\xFF\xC3y";
  EXPECT_EQ(Utf8ToWide(malformed.data(), static_cast<int>(malformed.size())), L"x\uFFFD\uFFFDy");
  const WideString outside = L"\u4e2d!";
  EXPECT_EQ(WideToMultiByte(outside.data(), static_cast<int>(outside.size()), CP_ACP), "?!");
}

}  // namespace
