#include "report/report_outcome.h"

#include "diag/trace.h"
#include "http/outcome_rules.h"

namespace {

Outcome g_told;

}  // namespace

void TellOutcome(const Outcome& outcome) { g_told = outcome; }

Outcome ToldOutcome() { return g_told; }

void RefuseReport(OutcomeWord word, uint32_t code, const char* reason) {
  TellOutcome({word, code});
  DebugTrace(__FILE__, __LINE__, "report refused: %s %lu%s%s%s\n", OutcomeWordText(word),
             static_cast<unsigned long>(code), reason ? " (" : "", reason ? reason : "", reason ? ")" : "");
}
