#include "report/report_outcome.h"

#include <windows.h>

#include "diag/trace.h"

namespace {

// Word and code change together: a reader never sees one attempt's word with another's code.
SRWLOCK g_outcomeLock = SRWLOCK_INIT;
Outcome g_outcome;

}  // namespace

void StoreOutcome(const Outcome& outcome) {
  AcquireSRWLockExclusive(&g_outcomeLock);
  g_outcome = outcome;
  ReleaseSRWLockExclusive(&g_outcomeLock);
}

Outcome LatestOutcome() {
  AcquireSRWLockShared(&g_outcomeLock);
  const Outcome outcome = g_outcome;
  ReleaseSRWLockShared(&g_outcomeLock);
  return outcome;
}

void RefuseReport(OutcomeWord word, uint32_t code) {
  StoreOutcome({word, code});
  DebugTrace(__FILE__, __LINE__, "report refused: %s %lu\n", OutcomeWordText(word), static_cast<unsigned long>(code));
}
