#pragma once

#include <cstdint>

// Tick counts in milliseconds wrap after 49.7 days; every limit here is far shorter, so the
// signed distance orders two ticks. No Windows header: the native rules use it too.

// Milliseconds from `from` to `to`: negative when `to` comes first.
inline std::int32_t TicksFrom(std::uint32_t from, std::uint32_t to) {
  return static_cast<std::int32_t>(to - from);
}
