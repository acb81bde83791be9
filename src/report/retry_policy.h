#pragma once

// Whether and when a queued report is sent again after a failed attempt. Pure: the
// caller passes the clock and the randomness in.

#include <cstdint>
#include <optional>
#include <string_view>

// Attempts per report, the first one included.
constexpr int kMaxReportAttempts = 5;

// Whether a report whose attempt ended with `status` is sent again: status 0 (no answer
// at all), 429, 502, 503 and 504. Any other answer would come again the same way.
bool IsRetriedStatus(int32_t status);

// Exponential backoff with full jitter after `failedAttempts` (from 1) failed attempts:
// `random` spread evenly over [0, min(30000, 1000 * 2^(failedAttempts - 1))] ms, 0
// giving 0 and 0xFFFFFFFF the bound. Counts below 1 count as 1.
uint32_t BackoffMs(int failedAttempts, uint32_t random);

// A Retry-After value (delta-seconds, or an HTTP date in any of its three forms, taken
// against `nowUnixSeconds`) in milliseconds: 0 for a date in the past, at most 60000.
// Spaces and tabs around it are ignored; nullopt when it cannot be read.
std::optional<uint32_t> RetryAfterMs(std::string_view value, int64_t nowUnixSeconds);

// The wait before the next attempt of a report whose attempt ended with `status`: the
// readable `retryAfter` of a 429 or 503, else BackoffMs(failedAttempts, random).
uint32_t NextRetryWaitMs(int failedAttempts, int32_t status, std::string_view retryAfter,
                         int64_t nowUnixSeconds, uint32_t random);
