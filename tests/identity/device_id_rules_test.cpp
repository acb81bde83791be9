#include "identity/device_id_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(IsDeviceId, TakesWhatEveryVendorCountsAsOneDevice) {
  const struct { std::string id; bool taken; } rows[] = {
      {"pc-4711", true},   {"{3F2504E0-4F89-11D3-9A0C-0305E82C3301}", true}, {"ab_CD", true},
      {"abcd", false},     {std::string(64, 'a'), true}, {std::string(65, 'a'), false},
      {"", false},         {"pc 4711", false}, {"pc.4711", false}, {"pc-4711\xC3\xA9", false},
      {"anonymous", false}, {"Undefined", false}, {"LMY47D", false}, {"00000000-0000-0000-0000-000000000000", false},
      {"{0000-0000}", false}, {"anonymous1", true}, {"10000", true}};
  for (const auto& row : rows) EXPECT_EQ(IsDeviceId(row.id), row.taken) << row.id;
}

}  // namespace
