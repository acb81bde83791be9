// How the client takes each kind of answer: what it returns, what the server received, how
// long it took, what it cost in memory, and that no thread is left behind.

#include <windows.h>
#include <psapi.h>
#include <wininet.h>

#include <cstdio>

#include <gtest/gtest.h>

#include "http/http_attempt.h"
#include "http/http_utility.h"
#include "http_test_support.h"

namespace {

struct Taken {
  bool result = false;
  uint32_t status = 0;
  uint32_t error = 0;
  std::string response;
  long long ms = 0;
};

Taken Post(const std::string& url, const std::string& body = "report") {
  CHttpUtility http;
  http.m_strUrl = url;
  http.m_strHeaders = "Content-Type: application/json\r\nX-Case: 1\r\n";
  http.m_strBody = body;
  http.m_dwSecurityFlags = 0x3380;
  Taken taken;
  taken.ms = MillisecondsTaken([&] { taken.result = http.Execute(); });
  taken.status = http.m_dwStatusCode;
  taken.error = http.m_dwError;
  taken.response = http.m_strResponse;
  std::printf("%-40s result %d status %u error %u, %zu bytes in %lld ms\n", url.substr(url.find("/", 8)).c_str(),
              taken.result, taken.status, taken.error, taken.response.size(), taken.ms);
  return taken;
}

std::string Answer(const char* what) { return ServerUrl("HTTP") + "/answer/" + what; }

// Wine leaves PrivateUsage at 0; PagefileUsage is the same count (private committed bytes).
SIZE_T PrivateBytes() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
  return counters.PagefileUsage;
}

std::string ChunkedBody() {
  std::string body;
  char line[16];
  for (int i = 0; i < 300; ++i) {
    std::snprintf(line, sizeof line, "chunk %04d\n", i);
    body += line;
  }
  return body;
}

// Kept-alive answers used to hold the client for ever, waiting for a second answer.
TEST(Answers, WholeBodiesAreReadAtOnceWhateverTheirFraming) {
  const std::set<DWORD> threadsBefore = ThreadsOfThisProcess();
  struct Case {
    const char* what;
    uint32_t status;
    std::string body;
  };
  const Case cases[] = {{"ok", 200, "ok"},
                        {"close", 200, "ok"},
                        {"chunked", 200, ChunkedBody()},
                        {"204", 204, ""},
                        {"http10", 200, std::string(50 * 10, '0')}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const char* server : {"HTTP", "HTTPS"}) {
      const Taken taken = Post(ServerUrl(server) + "/answer/" + c.what);
      EXPECT_TRUE(taken.result);
      EXPECT_EQ(taken.status, c.status);
      EXPECT_EQ(taken.error, 0u);
      if (std::string(c.what) == "http10") {
        EXPECT_EQ(taken.response.size(), 500u);
      } else {
        EXPECT_EQ(taken.response, c.body);
      }
      EXPECT_LT(taken.ms, 1500);
    }
  }
  EXPECT_TRUE(OtherThreadsEnd(threadsBefore));
}

// A read given up with a piece still asked for is closed; WinINet's own worker may wait on
// its socket until the server lets go.
TEST(Answers, UnendingAnswersEndWithinTheReadLimits) {
  const Taken stall = Post(Answer("stall"));  // 100 of 1000 bytes, then silence
  EXPECT_FALSE(stall.result);
  EXPECT_EQ(stall.status, 200u);
  EXPECT_EQ(stall.response, std::string(100, 'p'));
  EXPECT_GE(stall.ms, 4900);
  EXPECT_LT(stall.ms, 6500);

  const Taken trickle = Post(Answer("trickle"));  // a byte every 0.5 s
  EXPECT_FALSE(trickle.result);
  EXPECT_EQ(trickle.status, 200u);
  EXPECT_EQ(trickle.error, static_cast<uint32_t>(ERROR_INTERNET_TIMEOUT));
  EXPECT_GE(trickle.response.size(), 8u);
  EXPECT_LE(trickle.response.size(), 12u);
  EXPECT_GE(trickle.ms, 5000);
  EXPECT_LT(trickle.ms, 6500);

  // WinINet takes bytes that are not HTTP for an HTTP/0.9 answer, status 200.
  const Taken notHttp = Post(Answer("not-http"));
  EXPECT_FALSE(notHttp.result);
  EXPECT_EQ(notHttp.status, 200u);
  EXPECT_LT(notHttp.ms, 6500);

  const Taken cut = Post(Answer("cut"));  // 100 of 1000 bytes, then an orderly close
  EXPECT_FALSE(cut.result);
  EXPECT_EQ(cut.error, static_cast<uint32_t>(ERROR_INTERNET_CONNECTION_ABORTED));
  EXPECT_EQ(cut.status, 200u);
  EXPECT_EQ(cut.response, std::string(100, 'p'));
  EXPECT_LT(cut.ms, 1500);

  // A whole head, then a chunk-size line a byte every 3 s: no single wait is long, the
  // whole read is.
  const Taken chunkSize = Post(Answer("dribbled-chunk-size"));
  EXPECT_FALSE(chunkSize.result);
  EXPECT_EQ(chunkSize.status, 200u);
  EXPECT_EQ(chunkSize.error, static_cast<uint32_t>(ERROR_INTERNET_TIMEOUT));
  EXPECT_LE(chunkSize.ms, 10500);
}

// An attempt given up ends at once, its send still pending inside WinINet.
TEST(Answers, AnAttemptGivenUpEndsAtOnce) {
  HttpAttemptRequest request;
  request.url = ServerUrl("HANG") + "/echo/abandoned";
  request.method = "POST";
  const long long ms = MillisecondsTaken([&] {
    HttpAttempt attempt;
    ASSERT_EQ(attempt.Start(request), 0u);
    const DWORD deadline = GetTickCount() + 300;
    EXPECT_EQ(attempt.WaitAnswered(deadline, deadline, nullptr), static_cast<DWORD>(WSAETIMEDOUT));
  });
  EXPECT_LT(ms, 500);
  Control("/control/release?answer=0");
}

// 64 MiB, and 10 GiB that keep coming as fast as they are taken: the rest is never read,
// neither by the caller nor by a thread left behind.
TEST(Answers, LargeBodiesAreCutAtOneMebibyteAndTheRestIsNotRead) {
  for (const char* what : {"huge", "endless"}) {
    SCOPED_TRACE(what);
    const std::set<DWORD> threadsBefore = ThreadsOfThisProcess();
    const SIZE_T before = PrivateBytes();
    const Taken taken = Post(Answer(what));
    const SIZE_T after = PrivateBytes();
    std::printf("%s answer: private bytes %lu KiB before, %lu KiB after\n", what,
                static_cast<unsigned long>(before / 1024), static_cast<unsigned long>(after / 1024));
    EXPECT_FALSE(taken.result);
    EXPECT_EQ(taken.status, 200u);
    EXPECT_EQ(taken.error, static_cast<uint32_t>(ERROR_FILE_TOO_LARGE));
    EXPECT_EQ(taken.response.size(), 1024u * 1024u);
    EXPECT_LT(taken.ms, 2000);
    EXPECT_GT(before, 0u);
    EXPECT_LT(after, before + 16 * 1024 * 1024);
    EXPECT_TRUE(OtherThreadsEnd(threadsBefore));
    EXPECT_LT(PrivateBytes(), before + 16 * 1024 * 1024);
  }
}

// 307 and 308 repeat the request whole, Location resolved against the URL; the others are
// returned as they are, without anything sent to their Location.
TEST(Answers, OnlyRedirectsThatKeepTheRequestAreFollowed) {
  const std::string echo = ServerUrl("HTTP") + "/echo/moved-here";
  for (int code : {301, 302, 303, 307, 308}) {
    for (const std::string& to : {echo, std::string("/echo/moved-here"), ServerUrl("HTTPS") + "/echo/moved-here"}) {
      SCOPED_TRACE(std::to_string(code) + " to " + to);
      const Taken taken = Post(ServerUrl("HTTP") + "/answer/status/" + std::to_string(code) + "?to=" + to, "the report");
      EXPECT_TRUE(taken.result);
      if (code == 307 || code == 308) {
        EXPECT_EQ(taken.status, 200u);
        const EchoedRequest request = ParseEcho(taken.response);
        EXPECT_EQ(request.method, "POST");
        EXPECT_EQ(request.target, "/echo/moved-here");
        EXPECT_EQ(CallerHeaderLines(request), (std::vector<std::string>{"Content-Type: application/json", "X-Case: 1"}));
        EXPECT_EQ(request.body, "the report");
      } else {
        EXPECT_EQ(taken.status, static_cast<uint32_t>(code));
        EXPECT_EQ(taken.response, "moved");
      }
    }
  }
  const Taken loop = Post(Answer("loop"));
  EXPECT_EQ(loop.status, 307u);
  EXPECT_EQ(loop.response, "moved");
  const Taken nowhere = Post(Answer("status/308"));
  EXPECT_EQ(nowhere.status, 308u);
}

}  // namespace
