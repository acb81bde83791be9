#include "nsis/include/pluginapi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <regex>
#include <string>

#include "support/test_host.h"

namespace {

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
  popstringA(buffer, sizeof buffer);

  EXPECT_STREQ(buffer, "install_start&beta&1.2.3");
  EXPECT_EQ(m_host.Top(), below);
  EXPECT_EQ(m_host.Depth(), 1u);
  const auto lines = m_output.Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(std::regex_match(
      lines[0], std::regex(R"(\$\$ \[\d\d:\d\d:\d\d\.\d{3}\] [^\t]*\\nsis\\include\\pluginapi\.cpp<60>:)"
                           "\tpopstringA install_start&beta&1\\.2\\.3 \\(24\\)\n")))
      << lines[0];
}

TEST_F(StackHelpers, PopOnAnEmptyOrMissingStackLeavesTheBufferAndTracesNothing) {
  char buffer[8] = "keep";
  UseFrame(m_host);
  popstringA(buffer, sizeof buffer);
  popstringn(buffer, sizeof buffer);
  g_stackTop = nullptr;
  popstringA(buffer, sizeof buffer);
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
      popstringA(&buffer[0], size);

      const std::size_t kept = std::min(length, size - 1);
      EXPECT_EQ(std::string(buffer.c_str()), text.substr(0, kept)) << length << " into " << size;
      EXPECT_EQ(buffer.substr(size), std::string(16, '#')) << length << " into " << size;
    }
  }
  const auto lines = m_output.Lines();
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_NE(lines[1].find(" (511)\n"), std::string::npos);
  // The 4000-character text fills the trace's message to its 1999-byte limit.
  const std::string& longest = lines.back();
  EXPECT_EQ(longest.substr(longest.find('\t') + 1), "popstringA " + std::string(1988, 'a'));
}

TEST_F(StackHelpers, BoundedPopCopiesLikeStrncpy) {
  m_host.Push(std::string(200, '7'));
  m_host.Push("25");
  UseFrame(m_host);

  char buffer[129];
  std::memset(buffer, '#', sizeof buffer);
  popstringn(buffer, 128);
  EXPECT_STREQ(buffer, "25");
  EXPECT_EQ(buffer[127], '\0');  // padded with NULs
  EXPECT_EQ(buffer[128], '#');

  popstringn(buffer, 128);
  EXPECT_EQ(std::string(buffer, 128), std::string(128, '7'));
  EXPECT_EQ(buffer[128], '#');  // no terminator written past the count

  const auto lines = m_output.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("\\pluginapi.cpp<72>:\tpopstringn 25 (2)\n"), std::string::npos);
}

TEST_F(StackHelpers, PushLinksADecimalEntrySizedForTheHost) {
  m_host.Push("below");
  stack_t* below = m_host.Top();
  UseFrame(m_host);
  pushintA(200);
  EXPECT_EQ(m_host.Top()->next, below);
  // The text area holds string_size + 4 bytes, after a pointer-sized link.
  EXPECT_EQ(GlobalSize(m_host.Top()), offsetof(stack_t, text) + m_host.StringSize() + 4);
  EXPECT_EQ(m_host.PopText(), "200");
  pushintA(-1);
  EXPECT_EQ(m_host.PopText(), "-1");
  pushintA(0);
  EXPECT_EQ(m_host.PopText(), "0");
  EXPECT_EQ(m_host.Depth(), 1u);
}

TEST_F(StackHelpers, PushOntoAnEmptyStackMakesTheOnlyEntry) {
  UseFrame(m_host);
  pushintA(7);
  ASSERT_EQ(m_host.Depth(), 1u);
  EXPECT_EQ(m_host.Top()->next, nullptr);
}

TEST_F(StackHelpers, PushRespectsTheHostsStringSizeAndAMissingStack) {
  TestHost tiny(3);
  UseFrame(tiny);
  pushintA(12345);
  EXPECT_EQ(tiny.PopText(), "12");  // three characters with the terminator

  g_stackTop = nullptr;
  pushintA(1);
  EXPECT_EQ(tiny.Depth(), 0u);
}

}  // namespace
