#include "text/utf8.h"

#include <gtest/gtest.h>

#include <string>

#include "text/newest_lines.h"

namespace {

std::string FromUtf16(const std::u16string& text) { return Utf16ToUtf8(text.data(), text.size()); }

TEST(Utf16ToUtf8, EncodesOneToFourByteCharacters) {
  EXPECT_EQ(FromUtf16(u""), "");
  EXPECT_EQ(FromUtf16(u"a&b"), "a&b");
  EXPECT_EQ(FromUtf16(u"\u00e9"), "\xC3\xA9");
  EXPECT_EQ(FromUtf16(u"\u07ff\u0800"), "\xDF\xBF\xE0\xA0\x80");
  EXPECT_EQ(FromUtf16(u"\u4e2d"), "\xE4\xB8\xAD");
  EXPECT_EQ(FromUtf16(u"\uffff"), "\xEF\xBF\xBF");
  EXPECT_EQ(FromUtf16(u"\U0001F600"), "\xF0\x9F\x98\x80");  // a surrogate pair
  EXPECT_EQ(FromUtf16(u"\U0010FFFF"), "\xF4\x8F\xBF\xBF");
  const char16_t withNul[] = {u'a', 0, u'b'};
  EXPECT_EQ(Utf16ToUtf8(withNul, 3), std::string("a\0b", 3));
}

TEST(Utf16ToUtf8, UnpairedSurrogatesBecomeReplacementCharacters) {
  const std::string fffd = "\xEF\xBF\xBD";
  EXPECT_EQ(FromUtf16(std::u16string{0xD83D}), fffd);                       // high at the end
  EXPECT_EQ(FromUtf16(std::u16string{0xDE00, u'x'}), fffd + "x");           // low alone
  EXPECT_EQ(FromUtf16(std::u16string{0xD83D, u'x'}), fffd + "x");           // high, no low
  EXPECT_EQ(FromUtf16(std::u16string{0xDE00, 0xD83D}), fffd + fffd);       // reversed pair
  EXPECT_EQ(FromUtf16(std::u16string{0xD83D, 0xD83D, 0xDE00}), fffd + "\xF0\x9F\x98\x80");
}

TEST(Utf8CutLength, KeepsWholeCharactersOnly) {
  const std::string text = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80z";  // a é 中 😀 z: 1+2+3+4+1
  const std::size_t expected[] = {0, 1, 1, 3, 3, 3, 6, 6, 6, 6, 10, 11};
  for (std::size_t limit = 0; limit <= text.size(); ++limit)
    EXPECT_EQ(Utf8CutLength(text, limit), expected[limit]) << "limit " << limit;
  EXPECT_EQ(Utf8CutLength(text, 1000), text.size());
}

TEST(Utf8CutLength, DropsAnIncompleteSequenceAtTheEnd) {
  EXPECT_EQ(Utf8CutLength("ab\xE4\xB8", 100), 2u);
  EXPECT_EQ(Utf8CutLength("ab\xF0", 3), 2u);
  EXPECT_EQ(Utf8CutLength("", 5), 0u);
}

// The limits of the plug-in's buffers: a text of 1023 bytes is kept whole, one more
// byte cuts it back to the last character that fits.
TEST(Utf8CutLength, AtTheBufferLimits) {
  for (const std::size_t limit : {511u, 1023u}) {
    for (std::size_t pad = 0; pad < 4; ++pad) {
      std::string text = std::string(limit - 3 - pad, 'x') + "\xE4\xB8\xAD";  // ends in 中
      EXPECT_EQ(Utf8CutLength(text, limit), text.size());
      text += std::string(pad + 1, 'y');
      EXPECT_EQ(Utf8CutLength(text, limit), limit - 3 - pad + 3 + pad);
    }
    const std::string emojis = std::string(limit - 2, 'x') + "\xF0\x9F\x98\x80";
    EXPECT_EQ(Utf8CutLength(emojis, limit), limit - 2);
  }
}

}  // namespace

// Details lines: older lines go first, and an ANSI byte from 0x80 up counts as a byte.
TEST(NewestLinesWithin, KeepsTheNewestWholeLinesThatFit) {
  const struct { const char* lines; std::size_t limit; bool inCharacters; const char* kept; } rows[] = {
      {"one\ntwo\nthree", 13, false, "one\ntwo\nthree"}, {"one\ntwo\nthree", 12, false, "two\nthree"},
      {"one\ntwo\nthree", 5, false, "three"},          {"one\ntwo\nthree", 4, false, "thre"},
      {"a\n\xC3\xA9\xC3\xA9", 4, true, "a\n\xC3\xA9\xC3\xA9"}, {"a\n\xC3\xA9\xC3\xA9", 3, true, "\xC3\xA9\xC3\xA9"},
      {"a\n\xC3\xA9\xC3\xA9", 3, false, "\xC3\xA9"},    {"a\n\xC3\xA9\xC3\xA9", 1, true, "\xC3\xA9"},
      {"caf\xE9\nd\xE9j\xE0", 9, false, "caf\xE9\nd\xE9j\xE0"}, {"caf\xE9\nd\xE9j\xE0", 4, false, "d\xE9j\xE0"},
      {"", 0, false, ""},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(NewestLinesWithin(row.lines, row.limit, row.inCharacters), row.kept) << row.lines << ' ' << row.limit;
  }
}
