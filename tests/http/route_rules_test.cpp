#include "http/route_rules.h"

#include <gtest/gtest.h>

namespace {

// (via proxy, written, send error, status): goes direct after the proxy, sent again on a new
// connection.
TEST(RouteRules, OnlyAProxyThatNeverHadTheRequestIsLeftAndOnlyDroppedConnectionsResent) {
  struct Case {
    bool viaProxy;
    bool requestSent;
    uint32_t sendError;
    uint32_t status;
    bool direct;
    bool resent;
  };
  const Case cases[] = {
      {true, false, 12029, 0, true, false},    // refused
      {true, false, 12007, 0, true, false},    // name not resolved
      {true, false, 12002, 0, true, false},    // no connection within its share of the limit
      {true, false, 12031, 0, true, true},     // reset before the request was written
      {true, true, 12031, 0, false, true},     // reset after: the endpoint may have it
      {true, true, 12030, 0, false, true},     // closed without an answer
      {true, true, 12152, 0, false, true},     // not HTTP at all
      {true, true, 12002, 0, false, false},    // silent once it had the request
      {false, false, 12029, 0, false, false},  // already direct: bypassed or no proxy
      {false, false, 0, 407, false, false},
      {true, true, 0, 407, true, false},       {true, true, 0, 403, false, false},
      {true, true, 0, 502, false, false},      {true, true, 0, 200, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.viaProxy) + std::to_string(c.requestSent) + " " +
                 std::to_string(c.sendError) + "/" + std::to_string(c.status));
    EXPECT_EQ(FallsBackToDirect({c.viaProxy, c.requestSent, c.sendError, c.status}), c.direct);
    if (c.sendError != 0) {
      EXPECT_EQ(IsResentOnNewConnection(c.sendError), c.resent);
    }
  }
  EXPECT_EQ(ProxyConnectLimitMs(5000), 2500u);
}

TEST(RouteRules, BypassListEntriesMatchWholeNamesWithStarsAndLocal) {
  const struct {
    const char* host;
    const char* list;
    bool bypassed;
  } cases[] = {
      {"127.0.0.1", "<local>;127.0.0.1", true}, {"intranet", "<local>", true},
      {"a.example.com", "<local>", false},      {"API.Example.com", "*.example.com", true},
      {"example.com", "*.example.com", false},  {"10.1.2.3", "x.org 10.*", true},
      {"127.0.0.10", "127.0.0.1", false},       {"host", "", false},
      {"ab", "a*b*", true},                     {"", "*", false},
      {"b.org", "a.org\tb.org", true},          {"b.org", "a.org\rb.org", true},
      {"b.org", "a.org\nb.org", true},
  };
  for (const auto& c : cases) EXPECT_EQ(IsBypassed(c.host, c.list), c.bypassed) << c.host << " in " << c.list;
}

}  // namespace
