#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "report/added_members.h"
#include "report/report_body.h"

// What NSPost and NSPostAsync hand to the worker: two zero-filled std::calloc
// buffers of narrow text (UTF-8 in the Unicode builds), owned by the job from the
// moment it is queued, what the script added and the format it asked for as they stood
// then, the time, and what its attempts keep.
struct ReportJobArgs {
  char* url;        // at most 512 bytes
  char* eventText;  // 1024 bytes
  bool retried;     // queued reports try again through passing failures
  AddedMembers added;
  ReportShape shape;
  std::uint64_t queuedMs = 0;  // Unix time in milliseconds
  int attempts = 0;
  PreparedReport prepared;  // what every attempt's body is built from, prepared by the first
  std::string id;           // the report's id, which the trace names it by
  bool taken = false;       // its latest attempt ended with a 2xx that the vendor's reader took
};

// Releases the record and both buffers, counting how the report ended (report_tally.h).
void ReleaseReportJobArgs(void* args);

// Sends one event report and leaves its HTTP status (0 when none) in g_lastStatus, and why
// the attempt ended in g_lastOutcome, with a trace line. A report that may be retried
// tries up to kMaxReportAttempts times, with the same event (its id and time included) each
// time, and a vendor's time of sending set anew; between attempts it steps aside for as long as the retry policy says (DeferJob),
// and the jobs queued behind it run meanwhile. At the host's unload a report waiting to be
// retried is given up, and traced as such.
void WINAPI ReportJob(void* args) noexcept;
