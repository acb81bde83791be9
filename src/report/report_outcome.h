#pragma once

#include "http/outcome_rules.h"

// Why the latest report attempt ended, or why the latest report was refused without one:
// written by the report job on the worker and by the report commands on the host's thread,
// read by NSGetError. "none 0" until a report ends or is refused.

void StoreOutcome(const Outcome& outcome);
Outcome LatestOutcome();

// A report refused without an attempt: stored, and traced (no id: none was made yet).
void RefuseReport(OutcomeWord word, uint32_t code);
