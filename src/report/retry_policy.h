#pragma once

// Whether and when a queued report is sent again after a failed attempt. Pure: the
// caller passes the clock and the randomness in.

#include <cstdint>
#include <optional>
#include <string_view>

// Attempts per report, the first one included.
constexpr int kMaxReportAttempts = 5;

// Whether a report whose attempt ended with `status` (0: no answer, `error` telling why)
// is sent again: 429, 502, 503 and 504, and no answer because the network or the server
// failed for now (refused, reset, closed, not resolved, timed out, a TLS handshake cut
// off). Any other answer, or a failure that would come again the same way (an unusable
// URL, a certificate, a give-up), is not.
bool IsRetriedOutcome(int32_t status, uint32_t error);

// Whether an attempt that got no answer found the network missing: the name did not resolve
// (12007), nothing took the connection (12029), or WinINet knows itself offline or the server
// unreachable (12023 NO_DIRECT_ACCESS, 12163 DISCONNECTED, 12164 SERVER_UNREACHABLE, 12165
// PROXY_SERVER_UNREACHABLE). Such a report is still retried, but nobody waits for it: an
// offline machine, or a blocked host, stays so for longer than a wait at the installer's end.
bool SaysNoNetwork(int32_t status, uint32_t error);

// Exponential backoff with jitter after `failedAttempts` (from 1) failed attempts:
// `random` spread evenly over [bound / 2, bound] ms, where bound is
// min(30000, 1000 * 2^(failedAttempts - 1)); 0 gives half the bound and 0xFFFFFFFF the
// bound. Counts below 1 count as 1.
uint32_t BackoffMs(int failedAttempts, uint32_t random);

// A Retry-After value (delta-seconds, or an HTTP date in any of its three forms, taken
// against `nowUnixSeconds`) in milliseconds: 0 for a date in the past, at most 60000.
// Spaces and tabs around it are ignored; nullopt when it cannot be read.
std::optional<uint32_t> RetryAfterMs(std::string_view value, int64_t nowUnixSeconds);

// The wait before the next attempt of a report whose attempt ended with `status`: the
// readable, non-zero `retryAfter` of a 429 or 503 (a date in the past reads as 0), else
// BackoffMs(failedAttempts, random).
uint32_t NextRetryWaitMs(int failedAttempts, int32_t status, std::string_view retryAfter,
                         int64_t nowUnixSeconds, uint32_t random);
