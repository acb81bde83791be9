#pragma once

#include <cstdint>

// How this run's reports went, for NSTally and the unload's trace line. A report counts from
// the moment the script asks for it (NSPost or NSPostAsync with both arguments) until it ends
// for good: on the worker after its last attempt, or at once when it is refused, not queued or
// given up unsent. A report the machine turned off counts nowhere. Counting and reading never wait.

struct ReportTally {
  std::uint32_t taken;    // ended with a 2xx that the vendor's reader took
  std::uint32_t failed;   // refused before sending, or ended for good otherwise
  std::uint32_t waiting;  // queued, in flight, or waiting for a retry
};

// Host's thread: the script asked for one more report.
void CountReportAsked();

// Any thread, once for each report asked for: how it ended.
void CountReportEnded(bool taken);

// Host's thread.
ReportTally CurrentTally();

// The unload's trace line with the counts as they stand.
void TraceTallyAtUnload();
