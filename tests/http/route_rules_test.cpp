#include "http/route_rules.h"

#include <gtest/gtest.h>

namespace {

// (send error, status): goes direct after the proxy, sent again on a new connection.
TEST(RouteRules, OnlyAProxyThatNeverTookTheRequestIsBypassedAndOnlyDroppedConnectionsResent) {
  struct Case {
    uint32_t sendError;
    uint32_t status;
    bool direct;
    bool resent;
  };
  const Case cases[] = {
      {12029, 0, true, false},    // refused
      {12007, 0, true, false},    // name not resolved
      {12031, 0, true, true},     // reset
      {12030, 0, false, true},    // closed without an answer
      {12152, 0, false, true},    // not HTTP at all
      {12002, 0, false, false},   // silent: the limit is spent anyway
      {10060, 0, false, false},   // the send limit passed
      {12045, 0, false, false},   // certificate
      {0, 407, true, false},      {0, 403, false, false}, {0, 502, false, false},
      {0, 200, false, false},     {0, 401, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.sendError) + "/" + std::to_string(c.status));
    EXPECT_EQ(FallsBackToDirect(c.sendError, c.status), c.direct);
    if (c.sendError != 0) {
      EXPECT_EQ(IsResentOnNewConnection(c.sendError), c.resent);
    }
  }
}

}  // namespace
