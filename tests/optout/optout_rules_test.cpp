#include "optout/optout_rules.h"

#include <gtest/gtest.h>

TEST(OptOutRules, AnyOneSourceTurnsReportsOff) {  // letter case, sources together; the DLL's tests have the rest
  const struct { OptOutSettings settings; bool allowed; } rows[] = {{{"FaLsE", 0, 0, 0}, true}, {{"f@lse", 0, 0}, false},
      {{" 0", 0, 0}, false}, {{"0", 1, 0}, false}, {{"false", 0, 0, 1}, false}, {{"", 0xFFFFFFFF, 0}, false},
      {{"", 0, 2, 0}, false}};
  for (const auto& row : rows) EXPECT_EQ(ReportsAllowed(row.settings), row.allowed) << row.settings.doNotTrack;
}
