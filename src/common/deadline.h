#pragma once

#include <windows.h>

// Deadlines as tick counts. The counter wraps after 49.7 days; every limit here is far
// shorter, so the signed distance orders two ticks.

// Milliseconds from `from` to `to`: negative when `to` comes first.
inline LONG TicksFrom(DWORD from, DWORD to) { return static_cast<LONG>(to - from); }

inline bool HasPassed(DWORD deadline) { return TicksFrom(deadline, GetTickCount()) >= 0; }

// One millisecond more than the ticks left: a limit is what the server is granted, so a wait
// ends a tick late rather than early.
inline DWORD MsUntil(DWORD deadline) {
  const LONG left = TicksFrom(GetTickCount(), deadline);
  return left > 0 ? static_cast<DWORD>(left) + 1 : 0;
}

inline DWORD Earlier(DWORD a, DWORD b) { return TicksFrom(b, a) <= 0 ? a : b; }
