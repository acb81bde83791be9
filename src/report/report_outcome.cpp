#include "report/report_outcome.h"

#include "diag/trace.h"
#include "http/outcome_rules.h"

namespace {

Outcome g_told;

}  // namespace

void TellOutcome(const Outcome& outcome) { g_told = outcome; }

Outcome ToldOutcome() { return g_told; }

void RefuseReport(OutcomeWord word, uint32_t code) {
  TellOutcome({word, code});
  DebugTrace(__FILE__, __LINE__, "report refused: %s %lu\n", OutcomeWordText(word), static_cast<unsigned long>(code));
}
