#pragma once

#include <windows.h>

// What NSPost and NSPostAsync hand to the worker: two zero-filled std::calloc
// buffers of narrow text (UTF-8 in the Unicode builds), owned by the job from the
// moment it is queued.
struct ReportJobArgs {
  char* url;        // at most 512 bytes
  char* eventText;  // 1024 bytes
  bool retried;     // queued reports try again through passing failures
};

// Releases the record and both buffers.
void ReleaseReportJobArgs(void* args);

// Sends one event report and leaves its HTTP status (0 when none) in g_lastStatus. A
// report that may be retried tries up to kMaxReportAttempts times, waiting as the retry
// policy says between attempts, with the same document (its id included) each time;
// the jobs queued behind it wait, so reports arrive in the order queued. At the host's
// unload a pending retry is given up.
void WINAPI ReportJob(void* args);
