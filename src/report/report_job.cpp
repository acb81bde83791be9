#include "report/report_job.h"

#include <cstdlib>
#include <ctime>
#include <random>
#include <string>

#include "http/send_http_request.h"
#include "report/event_id.h"
#include "report/event_text.h"
#include "report/payload.h"
#include "report/retry_policy.h"
#include "worker/worker.h"

namespace {

constexpr std::int32_t kReportTimeoutMs = 5000;

// Jitter only spreads retries of many installers apart; it needs no strong randomness.
std::uint32_t RetryRandom() {
  static std::mt19937 generator(GetTickCount() ^ GetCurrentProcessId());
  return static_cast<std::uint32_t>(generator());
}

// One attempt, its status stored; then the record goes on to a retry or is released.
void Attempt(ReportJobArgs* record) {
  if (record->attempts == 0) {
    const EventFields fields = ParseEventText(record->eventText);
    record->body = BuildReportPayload(fields.eventName, MakeEventId(), fields.appVersion, fields.channel,
                                      EnvironmentForUrl(record->url), record->added);
  }
  const HttpHeaderList headers{{"Content-Type", "application/json"}, {"Accept-Language", "en-US"}};

  std::int32_t statusCode = 0;
  std::string response;
  HttpFailureDetails details;
  SendHttpRequest("POST", record->url, record->body, headers, kReportTimeoutMs, false, statusCode, response,
                  g_cancelEvent.get(), &details);
  ++record->attempts;
  g_lastStatus.store(statusCode);

  if (record->retried && record->attempts < kMaxReportAttempts && IsRetriedOutcome(statusCode, details.error)) {
    DeferJob(NextRetryWaitMs(record->attempts, statusCode, details.retryAfter,
                             static_cast<std::int64_t>(std::time(nullptr)), RetryRandom()),
             ReportJob, record, ReleaseReportJobArgs);
  } else {
    ReleaseReportJobArgs(record);
  }
}

}  // namespace

void ReleaseReportJobArgs(void* args) {
  auto* record = static_cast<ReportJobArgs*>(args);
  std::free(record->url);
  std::free(record->eventText);
  delete record;
}

// Out of memory on the way gives the report up with no status: nothing is thrown out of the
// worker. DeferJob, the last step, throws nothing.
void WINAPI ReportJob(void* args) noexcept {
  auto* record = static_cast<ReportJobArgs*>(args);
  const bool firstRun = record->attempts == 0;
  if (firstRun) BeginJob();
  try {
    Attempt(record);
  } catch (...) {
    g_lastStatus.store(0);
    ReleaseReportJobArgs(record);
  }
  if (firstRun) CompleteJob();
}
