#pragma once

#include <windows.h>

#include "common/ticks.h"

// Deadlines as tick counts (see ticks.h).

inline bool HasPassed(DWORD deadline) { return TicksFrom(deadline, GetTickCount()) >= 0; }

// One millisecond more than the ticks left: a limit is what the server is granted, so a wait
// ends a tick late rather than early.
inline DWORD MsUntil(DWORD deadline) {
  const LONG left = TicksFrom(GetTickCount(), deadline);
  return left > 0 ? static_cast<DWORD>(left) + 1 : 0;
}

inline DWORD Earlier(DWORD a, DWORD b) { return TicksFrom(b, a) <= 0 ? a : b; }
