#include "report/retry_policy.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

constexpr int64_t kNov1994 = 784111777 - 30;  // 30 s before Sun, 06 Nov 1994 08:49:37 GMT
constexpr int64_t kEnd1999 = 946684790;       // Fri, 31 Dec 1999 23:59:50 GMT

TEST(IsRetriedOutcome, PassingFailuresAndOverloadOnly) {
  for (const int32_t status : {429, 502, 503, 504})
    EXPECT_TRUE(IsRetriedOutcome(status, 0)) << status;
  for (const int32_t status : {200, 204, 307, 400, 428, 430, 499, 500, 501, 505, 599, -1})
    EXPECT_FALSE(IsRetriedOutcome(status, 12029)) << status;
  for (const uint32_t error : {10060u, 10054u, 12002u, 12007u, 12029u, 12030u, 12031u, 12152u, 12157u})
    EXPECT_TRUE(IsRetriedOutcome(0, error)) << error;
  for (const uint32_t error : {0u, 87u, 12005u, 12006u, 12017u, 12037u, 12038u, 12044u, 12045u, 12055u, 12056u, 12057u, 12169u, 12170u})
    EXPECT_FALSE(IsRetriedOutcome(0, error)) << error;
}

TEST(SaysNoNetwork, NameNotResolvedNothingListeningOrOfflineWithoutAnAnswer) {
  for (const uint32_t error : {12007u, 12023u, 12029u, 12163u, 12164u, 12165u})
    EXPECT_TRUE(SaysNoNetwork(0, error)) << error;
  for (const uint32_t error : {0u, 10060u, 12002u, 12030u, 12031u, 12152u, 12157u, 12045u})
    EXPECT_FALSE(SaysNoNetwork(0, error)) << error;
  EXPECT_FALSE(SaysNoNetwork(503, 12029));
}

TEST(BackoffMs, RandomSpreadsFromHalfToTheDoublingCappedBound) {
  const struct {
    int failedAttempts;
    uint32_t bound;
  } cases[] = {{1, 1000},  {2, 2000},   {3, 4000},        {4, 8000}, {5, 16000},     {6, 30000},
               {7, 30000}, {33, 30000}, {INT_MAX, 30000}, {0, 1000}, {INT_MIN, 1000}};
  for (const auto& c : cases) {
    EXPECT_EQ(BackoffMs(c.failedAttempts, 0), c.bound / 2) << c.failedAttempts;
    EXPECT_EQ(BackoffMs(c.failedAttempts, 0x80000000u), c.bound / 2 + (c.bound / 2 + 1) / 2) << c.failedAttempts;
    EXPECT_EQ(BackoffMs(c.failedAttempts, UINT32_MAX), c.bound) << c.failedAttempts;
  }
}

TEST(RetryAfterMs, DelaySecondsOrHttpDateCappedAtOneMinute) {
  const struct {
    const char* value;
    std::optional<uint32_t> ms;  // {}: unreadable
    int64_t now = kNov1994;
  } cases[] = {
      {"5", 5000},   {" \t7\t ", 7000}, {"61", 60000},  {"99999999999999999999999999", 60000},
      {" \t ", {}},  {"-5", {}},         {"1.5", {}},    {"5 s", {}},
      {"Sun, 06 Nov 1994 08:49:37 GMT", 30000},
      {" Sunday, 06-Nov-94 08:49:37 GMT ", 30000},
      {"Sun Nov  6 08:49:37 1994", 30000},
      {"Sun Nov 06 08:49:37 1994", 30000},
      {"Sun, 06 Nov 1994 08:49:60 GMT", 53000},
      {"Sun, 06 Nov 1994 08:49:07 GMT", 0},
      {"Sun, 06 Nov 1994 08:50:38 GMT", 60000},
      {"Thu, 29 Feb 1996 00:00:00 GMT", 60000},
      {"Tue, 29 Feb 2000 00:00:00 GMT", 60000},
      {"Saturday, 01-Jan-00 00:00:00 GMT", 10000, kEnd1999},
      {"Friday, 31-Dec-99 23:59:59 GMT", 0, kEnd1999 + 10},
      {"Sun, 06 Nov 1994 08:49:37 GMT", 60000, INT64_MIN},
      {"Sun, 06 Nov 1994 08:49:37 GMT", 0, INT64_MAX},
      {"Sunday, 06-Nov-94 08:49:37 GMT", 60000, INT64_MIN},
      {"Wed, 29 Feb 1995 00:00:00 GMT", {}},
      {"Thu, 29 Feb 1900 00:00:00 GMT", {}},
      {"Thu, 31 Apr 1994 00:00:00 GMT", {}},
      {"Sun, 06 Nov 1994 24:00:00 GMT", {}},
      {"Sun, 6 Nov 1994 08:49:37 GMT", {}},
      {"Sun, 06 Nov 94 08:49:37 GMT", {}},
      {"Sun, 06 Nov 1994 08:49:37 UTC", {}},
      {"Sun, 06 Nov 1994 08:49:37 GMT, 5", {}},
      {"Sun, 06-Nov-94 08:49:37 GMT", {}},
      {"Sun Nov 6 08:49:37 1994", {}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(RetryAfterMs(c.value, c.now), c.ms) << '"' << c.value << '"';
}

TEST(NextRetryWaitMs, RetryAfterOfA429Or503WhenReadableAndAheadElseTheBackoff) {
  const struct {
    int failedAttempts;
    int32_t status;
    const char* retryAfter;
    uint32_t ms;
  } cases[] = {
      {1, 429, "5", 5000}, {1, 503, "5", 5000}, {9, 503, "120", 60000},
      {9, 429, "0", 30000}, {3, 429, "", 4000}, {3, 503, "soon", 4000},
      {1, 503, "Sun, 06 Nov 1994 08:49:07 GMT", 1000},
      {2, 502, "5", 2000}, {2, 504, "5", 2000}, {2, 0, "5", 2000},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NextRetryWaitMs(c.failedAttempts, c.status, c.retryAfter, kNov1994, UINT32_MAX), c.ms)
        << c.status << " \"" << c.retryAfter << '"';
  }
}

}  // namespace
