#include "optout/optout_rules.h"

#include <gtest/gtest.h>

namespace {

TEST(OptOutRules, AnyOneSourceTurnsReportsOff) {
  struct Row {
    const char* doNotTrack;
    std::uint32_t machinePolicy;
    std::uint32_t userPolicy;
    bool allowed;
  };
  const Row rows[] = {
      {"", 0, 0, true},        {"0", 0, 0, true},     {"false", 0, 0, true},  {"FaLsE", 0, 0, true},
      {"1", 0, 0, false},      {"true", 0, 0, false}, {"no", 0, 0, false},    {" 0", 0, 0, false},
      {"falsee", 0, 0, false}, {"fals", 0, 0, false}, {"f@lse", 0, 0, false}, {"0", 1, 0, false},
      {"false", 0, 1, false},  {"", 0, 2, false},     {"", 0xFFFFFFFF, 0, false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ReportsAllowed({row.doNotTrack, row.machinePolicy, row.userPolicy}), row.allowed)
        << "DO_NOT_TRACK \"" << row.doNotTrack << "\", machine " << row.machinePolicy << ", user "
        << row.userPolicy;
  }
}

}  // namespace
