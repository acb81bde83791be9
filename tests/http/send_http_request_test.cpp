#include "http/send_http_request.h"

#include <gtest/gtest.h>
#include <wininet.h>

#include "http_test_support.h"

namespace {

struct Outcome {
  bool result = false;
  int32_t status = -1;
  std::string response = "untouched";
};

Outcome Send(const std::string& method, const std::string& url, const std::string& body,
             const HttpHeaderList& headers = {}, int32_t timeoutMs = 5000, bool responseUtf8 = false) {
  Outcome outcome;
  outcome.result = SendHttpRequest(method, url, body, headers, timeoutMs, responseUtf8, outcome.status,
                                   outcome.response);
  return outcome;
}

const HttpHeaderList kReportHeaders = {{"Content-Type", "application/json"}, {"Accept-Language", "en-US"}};

TEST(SendHttpRequest, ReportRequestCarriesExactlyItsHeadersAndItsBodyUnchanged) {
  ASSERT_TRUE(InternetSetCookieA(ServerUrl("HTTP").c_str(), "user", "secret"));  // the user's, not the report's
  const std::string body = "{\"event\":\"caf\xE9 \x80\",\"quote\":\"\\\"\",\"high\":\"\xFF\x7F\"}";
  for (const char* server : {"HTTP", "HTTPS"}) {
    SCOPED_TRACE(server);
    const Outcome outcome = Send("POST", ServerUrl(server) + "/echo/report", body, kReportHeaders);
    EXPECT_TRUE(outcome.result);
    EXPECT_EQ(outcome.status, 200);
    const EchoedRequest request = ParseEcho(outcome.response);
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/echo/report");
    EXPECT_EQ(CallerHeaderLines(request),
              (std::vector<std::string>{"Content-Type: application/json", "Accept-Language: en-US"}));
    EXPECT_EQ(request.body, body);
  }
}

TEST(SendHttpRequest, EmptyMethodAndHeaderListGiveAFormPost) {
  const EchoedRequest request = ParseEcho(Send("", ServerUrl("HTTP") + "/echo", "a=1&b=2").response);
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(CallerHeaderLines(request),
            std::vector<std::string>{"Content-Type: application/x-www-form-urlencoded"});
  EXPECT_EQ(request.body, "a=1&b=2");
}

TEST(SendHttpRequest, TextsAreCutAtTheirFirstNul) {
  using namespace std::string_literals;
  const HttpHeaderList headers = {{"X-One", "1"}, {"X-Two", "2\0tail"s}, {"X-Three", "3"}};
  const Outcome outcome =
      Send("PUT\0X"s, ServerUrl("HTTP") + "/echo/cut\0/dropped"s, "abc\0def"s, headers);
  const EchoedRequest request = ParseEcho(outcome.response);
  EXPECT_EQ(request.method, "PUT");
  EXPECT_EQ(request.target, "/echo/cut");
  EXPECT_EQ(CallerHeaderLines(request), (std::vector<std::string>{"X-One: 1", "X-Two: 2"}));
  EXPECT_EQ(request.body, "abc");
}

TEST(SendHttpRequest, EmptyUrlFailsAndLeavesTheOutputsAlone) {
  const Outcome outcome = Send("POST", "", "{}", kReportHeaders);
  EXPECT_FALSE(outcome.result);
  EXPECT_EQ(outcome.status, -1);
  EXPECT_EQ(outcome.response, "untouched");
}

TEST(SendHttpRequest, SchemeInAnyCaseKeepsItsMeaning) {
  const std::string secure = ServerUrl("HTTPS");
  const Outcome outcome = Send("POST", "HtTpS" + secure.substr(5) + "/echo/caps#fragment", "x");
  EXPECT_TRUE(outcome.result);
  EXPECT_EQ(ParseEcho(outcome.response).target, "/echo/caps");
}

// Escapes are part of what the endpoint checks (a signature, an "&" inside a value): they
// must arrive as written.
TEST(SendHttpRequest, PathAndQueryGoOutAsWrittenAndUrlCredentialsDropped) {
  const std::string plain = ServerUrl("HTTP");
  const std::string target = "/echo/a%41%20b?x=%31&y=a%2Fb&sig=ab%2Bcd%3D%3D&v=1%262";
  const Outcome outcome = Send("POST", "http://user:secret@" + plain.substr(7) + target, "x");
  EXPECT_TRUE(outcome.result);
  const EchoedRequest request = ParseEcho(outcome.response);
  EXPECT_EQ(request.target, target);
  EXPECT_EQ(outcome.response.find("secret"), std::string::npos);
  EXPECT_EQ(outcome.response.find("Authorization"), std::string::npos);
}

TEST(SendHttpRequest, ErrorStatusesAndEmptyOrLargeBodiesAreReturnedWhole) {
  for (int status : {404, 500}) {
    const Outcome outcome = Send("POST", ServerUrl("HTTP") + "/status/" + std::to_string(status), "");
    EXPECT_TRUE(outcome.result);
    EXPECT_EQ(outcome.status, status);
    EXPECT_EQ(outcome.response, "body of " + std::to_string(status));
  }
  const Outcome empty = Send("POST", ServerUrl("HTTP") + "/empty", "");
  EXPECT_TRUE(empty.result);
  EXPECT_EQ(empty.status, 200);
  EXPECT_EQ(empty.response, "");

  const Outcome big = Send("GET", ServerUrl("HTTP") + "/big", "");
  EXPECT_TRUE(big.result);
  EXPECT_TRUE(big.response == BigBody()) << "got " << big.response.size() << " bytes";
}

TEST(SendHttpRequest, ResponseIsReencodedFromUtf8) {
  using namespace std::string_literals;
  const Outcome ansi = Send("GET", ServerUrl("HTTP") + "/utf8", "", {}, 5000, false);
  EXPECT_TRUE(ansi.result);
  EXPECT_EQ(ansi.response, "caf\xE9 \x80 ? ?? \0end ?"s);
  const Outcome utf8 = Send("GET", ServerUrl("HTTP") + "/utf8", "", {}, 5000, true);
  EXPECT_TRUE(utf8.result);
  EXPECT_EQ(utf8.response, u8"caf\u00e9 \u20ac \u4e2d \U0001F600 \0end \uFFFD"s);
}

TEST(SendHttpRequest, ConnectionRefusedFailsAtOnce) {
  Outcome outcome;
  const long long ms = MillisecondsTaken([&] { outcome = Send("POST", ServerUrl("REFUSED") + "/", "x"); });
  EXPECT_FALSE(outcome.result);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.response, "");
  EXPECT_LT(ms, 3000);
}

// The server sends 5000 of the announced bytes, then resets the connection. Each piece is
// read once it has arrived, so every byte that came is kept.
TEST(SendHttpRequest, ReadFailingMidwayKeepsStatusAndBytesSoFar) {
  const Outcome outcome = Send("POST", ServerUrl("TRUNCATE") + "/", "x");
  EXPECT_FALSE(outcome.result);
  EXPECT_EQ(outcome.status, 200);
  EXPECT_TRUE(outcome.response == BigBody().substr(0, 5000)) << "got " << outcome.response.size() << " bytes";
}

TEST(SendHttpRequest, SlowAnswerWithinTheLimitSucceeds) {
  const Outcome outcome = Send("POST", ServerUrl("SLOW") + "/status/201", "x", {}, 2000);
  EXPECT_TRUE(outcome.result);
  EXPECT_EQ(outcome.status, 201);
}

// A limit of 0 means 5000 ms; here the server then closes the held connection unanswered.
TEST(SendHttpRequest, ZeroTimeLimitMeansFiveSeconds) {
  const std::set<DWORD> threadsBefore = ThreadsOfThisProcess();
  Outcome outcome;
  const long long ms = MillisecondsTaken([&] { outcome = Send("POST", ServerUrl("HANG") + "/echo/held", "x", {}, 0); });
  EXPECT_FALSE(outcome.result);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.response, "");
  EXPECT_GE(ms, 5000);
  EXPECT_LT(ms, 5500);
  EXPECT_EQ(Control("/control/release?answer=0"), "1");
  EXPECT_TRUE(OtherThreadsEnd(threadsBefore));
}

}  // namespace
