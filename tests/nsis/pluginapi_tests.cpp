#include "nsis/include/pluginapi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <regex>
#include <string>

#include "support/test_host.h"

namespace {

bool Pop(char* destination, std::size_t size) { return PopArgument(destination, size, Traced::Whole) == Popped::Whole; }

SIZE_T EntrySize(int stringSize) { return offsetof(stack_t, text) + (stringSize + 4) * sizeof(TCHAR); }

class StackHelpers : public ::testing::Test {
 protected:
  void UseFrame(TestHost& host) {
    g_stringSize = host.StringSize();
    g_stackTop = host.StackTop();
  }
  TestHost m_host{8192};  // as large-string builds of NSIS
  DebugOutputCapture m_output;
};

TEST_F(StackHelpers, PopTakesTheTopEntryAndTracesItBeforeCopying) {
  m_host.Push("below");
  m_host.Push("install_start&beta&1.2.3");
  stack_t* below = m_host.Top()->next;
  UseFrame(m_host);

  char buffer[1024] = {};
  EXPECT_TRUE(Pop(buffer, sizeof buffer));

  EXPECT_STREQ(buffer, "install_start&beta&1.2.3");
  EXPECT_EQ(m_host.Top(), below);
  EXPECT_EQ(m_host.Depth(), 1u);
  const auto lines = m_output.Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(std::regex_match(
      lines[0], std::regex(R"(\$\$ \[\d\d:\d\d:\d\d\.\d{3}\] [^\t]*\\nsis\\include\\pluginapi\.cpp<60>:)"
                           "\t" + kPop + " install_start&beta&1\\.2\\.3 \\(24\\)\n")))
      << lines[0];
}

TEST_F(StackHelpers, PopOnAnEmptyOrMissingStackLeavesTheBufferAndTracesNothing) {
  char buffer[8] = "keep";
  UseFrame(m_host);
  EXPECT_EQ(PopArgument(buffer, sizeof buffer, Traced::Whole), Popped::Missing);
  EXPECT_FALSE(PopArgumentBounded(buffer, sizeof buffer));
  g_stackTop = nullptr;
  EXPECT_EQ(PopArgument(buffer, sizeof buffer, Traced::Whole), Popped::Missing);
  EXPECT_STREQ(buffer, "keep");
  EXPECT_TRUE(m_output.Lines().empty());
}

TEST_F(StackHelpers, PopCutsLongTextsToTheBufferButTracesThemWhole) {
  for (const std::size_t length : {511u, 512u, 1023u, 1024u, 4000u}) {
    for (const std::size_t size : {512u, 1024u}) {
      std::string text(length, 'a');
      text.back() = 'z';
      m_host.Push(text);
      UseFrame(m_host);
      std::string buffer(size + 16, '#');  // guard bytes after the destination
      const bool whole = Pop(&buffer[0], size);

      const std::size_t kept = std::min(length, size - 1);
      EXPECT_EQ(whole, length < size) << length << " into " << size;
      EXPECT_EQ(std::string(buffer.c_str()), text.substr(0, kept)) << length << " into " << size;
      EXPECT_EQ(buffer.substr(size), std::string(16, '#')) << length << " into " << size;
    }
  }
  const auto lines = m_output.Lines();
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_NE(lines[1].find(" (511)\n"), std::string::npos);
  // The 4000-character text fills the trace's message to its 1999-byte limit.
  const std::string& longest = lines.back();
  EXPECT_EQ(longest.substr(longest.find('\t') + 1), kPop + " " + std::string(1988, 'a'));
}

TEST_F(StackHelpers, BoundedPopCopiesLikeStrncpy) {
  m_host.Push(std::string(200, '7'));
  m_host.Push("25");
  UseFrame(m_host);

  char buffer[129];
  std::memset(buffer, '#', sizeof buffer);
  PopArgumentBounded(buffer, 128);
  EXPECT_STREQ(buffer, "25");
  EXPECT_EQ(buffer[127], '\0');  // padded with NULs
  EXPECT_EQ(buffer[128], '#');

  PopArgumentBounded(buffer, 128);
  EXPECT_EQ(std::string(buffer, 128), std::string(128, '7'));
  EXPECT_EQ(buffer[128], '#');  // no terminator written past the count

  const auto lines = m_output.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("\\pluginapi.cpp<72>:\t" + kBoundedPop + " 25 (2)\n"), std::string::npos);
}

TEST_F(StackHelpers, PushLinksADecimalEntrySizedForTheHost) {
  m_host.Push("below");
  stack_t* below = m_host.Top();
  UseFrame(m_host);
  PushResult(200);
  EXPECT_EQ(m_host.Top()->next, below);
  EXPECT_EQ(GlobalSize(m_host.Top()), EntrySize(m_host.StringSize()));
  EXPECT_EQ(m_host.PopNative(), NativeText({'2', '0', '0'}));
  PushResult(200);
  EXPECT_EQ(m_host.PopText(), "200");
  PushResult(-1);
  EXPECT_EQ(m_host.PopText(), "-1");
  PushResult(0);
  EXPECT_EQ(m_host.PopText(), "0");
  EXPECT_EQ(m_host.Depth(), 1u);
}

TEST_F(StackHelpers, PushOntoAnEmptyStackMakesTheOnlyEntry) {
  UseFrame(m_host);
  PushResult(7);
  ASSERT_EQ(m_host.Depth(), 1u);
  EXPECT_EQ(m_host.Top()->next, nullptr);
}

TEST_F(StackHelpers, PushRespectsTheHostsStringSizeAndAMissingStack) {
  TestHost tiny(3);
  UseFrame(tiny);
  PushResult(12345);
  EXPECT_EQ(tiny.PopText(), "12");  // three characters with the terminator

  g_stackTop = nullptr;
  PushResult(1);
  EXPECT_EQ(tiny.Depth(), 0u);
}

#ifdef UNICODE

// é, 中 and 😀 (a surrogate pair): 2, 3 and 4 bytes of UTF-8, 1, 1 and 2 UTF-16 units.
const std::wstring kWideSample = L"\u00e9\u4e2d\U0001F600";
const std::string kUtf8Sample = "\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80";

TEST_F(StackHelpers, UnicodePopConvertsToUtf8AndTracesCharacters) {
  m_host.PushNative(L"a&" + kWideSample);
  UseFrame(m_host);
  char buffer[1024] = {};
  EXPECT_TRUE(Pop(buffer, sizeof buffer));
  EXPECT_EQ(std::string(buffer), "a&" + kUtf8Sample);

  const auto lines = m_output.Lines();
  ASSERT_EQ(lines.size(), 1u);
  // The length counts UTF-16 units, as the host's string_size does.
  const std::string expected = m_output.AsCaptured("\tpopstringW a&" + kUtf8Sample + " (6)\n");
  EXPECT_EQ(lines[0].substr(lines[0].find('\t')), expected) << lines[0];
}

TEST_F(StackHelpers, UnicodePopReplacesUnpairedSurrogates) {
  const std::string fffd = "\xEF\xBF\xBD";
  m_host.PushNative(NativeText{L'a', 0xD800, L'b', 0xDC00, 0xDE00, 0xD83D});
  UseFrame(m_host);
  char buffer[64] = {};
  EXPECT_TRUE(Pop(buffer, sizeof buffer));
  EXPECT_EQ(std::string(buffer), "a" + fffd + "b" + fffd + fffd + fffd);
  const auto lines = m_output.Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find(" (6)\n"), std::string::npos) << lines[0];
}

// At each buffer limit a text that just fits is kept whole; one unit more cuts it back
// to the last whole character, never inside a UTF-8 sequence.
TEST_F(StackHelpers, UnicodePopCutsAtACharacterBoundary) {
  for (const std::size_t size : {512u, 1024u}) {
    const std::size_t limit = size - 1;
    struct Case {
      std::wstring tail;
      std::string tailUtf8;
    };
    for (const Case& c : {Case{L"\u00e9", "\xC3\xA9"}, Case{L"\u4e2d", "\xE4\xB8\xAD"},
                          Case{L"\U0001F600", "\xF0\x9F\x98\x80"}}) {
      const std::size_t fill = limit - c.tailUtf8.size();
      for (std::size_t over = 0; over < c.tailUtf8.size(); ++over) {
        // `over` bytes too long: the tail character no longer fits.
        const std::wstring text = std::wstring(fill + over, L'x') + c.tail;
        m_host.PushNative(text);
        UseFrame(m_host);
        std::string buffer(size + 8, '#');
        const bool whole = Pop(&buffer[0], size);
        const std::string kept(buffer.c_str());
        if (over == 0) {
          EXPECT_TRUE(whole);
          EXPECT_EQ(kept, std::string(fill, 'x') + c.tailUtf8);
        } else {
          EXPECT_FALSE(whole) << size << " over " << over;
          EXPECT_EQ(kept, std::string(fill + over, 'x')) << size << " over " << over;
        }
        EXPECT_EQ(buffer.substr(size), std::string(8, '#'));
      }
    }
  }
}

// The trace message stops at 1999 bytes of UTF-8; a character it would split is left
// out whole rather than shown as a replacement character.
TEST_F(StackHelpers, UnicodeTraceCutsItsMessageAtACharacterBoundary) {
  m_host.PushNative(std::wstring(1987, L'a') + L"\u4e2d" + std::wstring(100, L'b'));
  UseFrame(m_host);
  char buffer[16] = {};
  EXPECT_FALSE(Pop(buffer, sizeof buffer));
  const auto lines = m_output.Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].substr(lines[0].find('\t') + 1), "popstringW " + std::string(1987, 'a'));
}

TEST_F(StackHelpers, UnicodeBoundedPopCutsAtACharacterBoundary) {
  m_host.PushNative(std::wstring(127, L'7') + L"\u00e9");
  UseFrame(m_host);
  char buffer[129];
  std::memset(buffer, '#', sizeof buffer);
  PopArgumentBounded(buffer, 128);
  EXPECT_EQ(std::string(buffer, 128), std::string(127, '7') + '\0');
  EXPECT_EQ(buffer[128], '#');
  const auto lines = m_output.Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("<72>:\tpopstringnW 777"), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find(" (128)\n"), std::string::npos) << lines[0];
}

TEST_F(StackHelpers, UnicodePushWritesUtf16Decimals) {
  UseFrame(m_host);
  PushResult(-2147483647 - 1);
  EXPECT_EQ(GlobalSize(m_host.Top()), EntrySize(m_host.StringSize()));
  EXPECT_EQ(m_host.PopNative(), L"-2147483648");
  TestHost tiny(3);
  UseFrame(tiny);
  PushResult(404);
  EXPECT_EQ(tiny.PopNative(), L"40");
}

#endif

}  // namespace
