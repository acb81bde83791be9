#include "http/outcome_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// (status, error, via proxy) -> what NSGetError pushes.
TEST(OutcomeRules, StatusesAndErrorsGiveOneWordAndACode) {
  const struct {
    uint32_t status, error;
    bool viaProxy;
    std::string text;
  } cases[] = {
      {200, 0, false, "ok 200"},         {299, 0, false, "ok 299"},        {204, 12002, false, "ok 204"},
      {199, 0, false, "http 199"},       {300, 0, false, "http 300"},      {404, 0, false, "http 404"},
      {407, 0, true, "http 407"},        {502, 12031, true, "http 502"},   {0, 12005, false, "url 12005"},
      {0, 12006, true, "url 12006"},     {0, 12007, false, "dns 12007"},   {0, 12029, false, "connect 12029"},
      {0, 12030, false, "connect 12030"}, {0, 12031, false, "connect 12031"}, {0, 12152, false, "connect 12152"},
      {0, 12002, false, "timeout 12002"}, {0, 10060, false, "timeout 0"},  {0, 12157, false, "tls 12157"},
      {0, 12045, true, "tls 12045"},     {0, 12175, false, "other 12175"},   {0, 12031, true, "proxy 12031"},
      {0, 10060, true, "proxy 0"},       {0, 12017, false, "other 12017"}, {0, 8, false, "other 8"},
      {0, 0, false, "other 0"},
  };
  for (const auto& c : cases) {
    const Outcome outcome = DescribeAttempt(c.status, c.error, c.viaProxy);
    EXPECT_EQ(OutcomeWordText(outcome.word) + (" " + std::to_string(outcome.code)), c.text)
        << c.status << " " << c.error << " " << c.viaProxy;
  }
}

}  // namespace
