#include "http/http_utility.h"

#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>

#include "http/attempt_context.h"
#include "lifetime/live_contexts.h"
#include "http_test_support.h"

namespace {

// A label longer than 63 bytes: the resolver refuses the name before sending any query.
const std::string kUnresolvableHost = std::string(64, 'x') + ".invalid";

int HeldConnectionsClosed() { return std::atoi(Control("/control/closed").c_str()); }

TEST(HttpUtility, FreshObjectHoldsTheDefaults) {
  CHttpUtility http;
  EXPECT_EQ(http.m_dwTimeout, 5000u);
  EXPECT_EQ(http.m_strMethod, "POST");
  EXPECT_EQ(http.m_strHeaders, "\r\n\r\n");
  EXPECT_EQ(http.m_strVersion, "HTTP/1.1");
  EXPECT_EQ(http.m_strAccept, "*/*");
  for (const std::string* text : {&http.m_strAgent, &http.m_strProxyHost, &http.m_strProxyUser,
                                  &http.m_strProxyPassword, &http.m_strUrl, &http.m_strReferrer,
                                  &http.m_strBody, &http.m_strResponse}) {
    EXPECT_TRUE(text->empty());
  }
  EXPECT_TRUE(http.m_strCookies.empty());
  EXPECT_EQ(http.m_nProxyMode, 0);
  EXPECT_EQ(http.m_nResponseLength, 0);
  EXPECT_EQ(http.m_dwSecurityFlags, 0u);
  EXPECT_EQ(http.m_dwStatusCode, 0u);
  EXPECT_EQ(http.m_dwError, 0u);
  EXPECT_FALSE(http.m_bCollectCookies);
}

TEST(HttpUtility, EachExecuteAppendsItsBodyAndRestartsStatusAndError) {
  CHttpUtility http;
  http.m_strUrl = ServerUrl("HTTP") + "/status/404";
  EXPECT_TRUE(http.Execute());
  EXPECT_EQ(http.m_dwStatusCode, 404u);

  http.m_strUrl = ServerUrl("REFUSED") + "/";
  EXPECT_FALSE(http.Execute());
  EXPECT_EQ(http.m_dwStatusCode, 0u);
  EXPECT_EQ(http.m_dwError, static_cast<uint32_t>(ERROR_INTERNET_CANNOT_CONNECT));
  EXPECT_EQ(http.m_strResponse, "body of 404");

  http.m_strUrl = ServerUrl("HTTP") + "/status/200";
  EXPECT_TRUE(http.Execute());
  EXPECT_EQ(http.m_dwStatusCode, 200u);
  EXPECT_EQ(http.m_dwError, 0u);
  EXPECT_EQ(http.m_strResponse, "body of 404body of 200");
  EXPECT_EQ(http.m_nResponseLength, 22);
}

TEST(HttpUtility, UnresolvableHostFailsWithoutWaiting) {
  CHttpUtility http;
  http.m_strUrl = "http://" + kUnresolvableHost + "/";
  bool result = true;
  const long long ms = MillisecondsTaken([&] { result = http.Execute(); });
  EXPECT_FALSE(result);
  EXPECT_EQ(http.m_dwStatusCode, 0u);
  EXPECT_EQ(http.m_dwError, static_cast<uint32_t>(ERROR_INTERNET_NAME_NOT_RESOLVED));
  EXPECT_LT(ms, 3000);
}

TEST(HttpUtility, SelfSignedCertificateNeedsTheRelaxations) {
  CHttpUtility strict;
  strict.m_strUrl = ServerUrl("HTTPS_UNSEEN") + "/echo";
  EXPECT_FALSE(strict.Execute());
  EXPECT_EQ(strict.m_dwError, static_cast<uint32_t>(ERROR_INTERNET_INVALID_CA));

  CHttpUtility relaxed;
  relaxed.m_strUrl = ServerUrl("HTTPS_UNSEEN") + "/echo";
  relaxed.m_dwSecurityFlags = 0x3380;
  EXPECT_TRUE(relaxed.Execute());
  EXPECT_EQ(relaxed.m_dwStatusCode, 200u);
  EXPECT_EQ(ParseEcho(relaxed.m_strResponse).method, "POST");
}

TEST(HttpUtility, CookiesAreCollectedOnlyWhenAsked) {
  CHttpUtility http;
  http.m_strUrl = ServerUrl("HTTP") + "/cookies";
  EXPECT_TRUE(http.Execute());
  EXPECT_TRUE(http.m_strCookies.empty());

  http.m_bCollectCookies = true;
  EXPECT_TRUE(http.Execute());
  EXPECT_EQ(http.m_strCookies, L"a=1;b=2");
}

// The server holds the request unanswered. Execute must give up after m_dwTimeout while
// WinINet still sends the request it was given; once the server answers, WinINet must
// finish with it, call back for the last time and close the connection.
TEST(HttpUtility, SendOverTheLimitIsAbandonedAndEndsCleanlyLater) {
  const int closedBefore = HeldConnectionsClosed();
  const std::set<DWORD> threadsBefore = ThreadsOfThisProcess();
  CHttpUtility http;
  http.m_strUrl = ServerUrl("HANG") + "/echo/held";
  http.m_dwTimeout = 1000;
  bool result = true;
  const long long ms = MillisecondsTaken([&] { result = http.Execute(); });
  EXPECT_FALSE(result);
  EXPECT_EQ(http.m_dwStatusCode, 0u);
  EXPECT_EQ(http.m_dwError, 10060u);
  EXPECT_TRUE(http.m_strResponse.empty());
  EXPECT_GE(ms, 1000);
  EXPECT_LT(ms, 1500);
  std::printf("send time limit 1000 ms: Execute returned after %lld ms\n", ms);
  EXPECT_TRUE(WinInetMayStillCallBack()) << "WinINet still sends the request given up";

  EXPECT_EQ(Control("/control/release?answer=1"), "1");
  EXPECT_TRUE(OtherThreadsEnd(threadsBefore));
  EXPECT_FALSE(WinInetMayStillCallBack());
  int closed = HeldConnectionsClosed();
  for (int i = 0; i < 50 && closed == closedBefore; ++i) {
    Sleep(100);
    closed = HeldConnectionsClosed();
  }
  EXPECT_EQ(closed, closedBefore + 1) << "the late connection was never closed";
}

}  // namespace
