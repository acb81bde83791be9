#pragma once

#include <windows.h>

#include <cstdint>

// The system clock as Unix time in milliseconds: when a report is queued, and when each of its
// attempts is sent.
inline std::uint64_t UnixTimeMs() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const std::uint64_t hundredNs = (std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
  constexpr std::uint64_t kUnixEpoch = 116444736000000000;  // 1970-01-01 in 100 ns since 1601
  return hundredNs < kUnixEpoch ? 0 : (hundredNs - kUnixEpoch) / 10000;
}
