#include <objbase.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

#include "report/event_id.h"

namespace {

bool HasIdShape(const std::string& id) {
  if (id.size() != 32) return false;
  for (std::size_t i = 0; i < id.size(); ++i) {
    const bool lowerGroup = i >= 12 && i < 16;
    const char c = id[i];
    const bool digit = c >= '0' && c <= '9';
    const bool letter = lowerGroup ? (c >= 'a' && c <= 'f') : (c >= 'A' && c <= 'F');
    if (!digit && !letter) return false;
  }
  return true;
}

TEST(MakeEventId, GivesAFreshWellFormedIdInOneBuffer) {
  const char* first = MakeEventId();
  const std::string firstId = first;
  const char* second = MakeEventId();
  EXPECT_EQ(first, second);
  EXPECT_TRUE(HasIdShape(firstId)) << firstId;
  EXPECT_TRUE(HasIdShape(second)) << second;
  EXPECT_NE(firstId, second);
}

TEST(MakeEventId, LeavesTheThreadsComStateAsItFoundIt) {
  MakeEventId();
  // S_OK: nothing was left initialised by the call.
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  // Now CoInitialize inside fails (wrong apartment); the thread's own initialisation
  // must survive, so a further CoInitializeEx only counts up (S_FALSE).
  EXPECT_TRUE(HasIdShape(MakeEventId()));
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
  CoUninitialize();
  CoUninitialize();
}

}  // namespace
