#pragma once

#include "common/outcome.h"

// Why a report ended, as NSGetError tells it: the outcome of the report whose status the script
// was given last (NSPost's own, or the one NSGet read), or why the latest report was refused
// without an attempt; "none 0" before any and after NSPut. Host's thread only: the worker
// leaves each attempt's outcome in g_lastOutcome, and a command that waited for its job
// hands it on here.

void TellOutcome(const Outcome& outcome);
Outcome ToldOutcome();

// A report that the command refuses without queueing it: told, and traced (no id: none was
// made yet), with `reason` when given.
void RefuseReport(OutcomeWord word, uint32_t code, const char* reason = nullptr);

