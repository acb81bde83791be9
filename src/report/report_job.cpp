#include "report/report_job.h"

#include <cstdlib>
#include <ctime>
#include <random>
#include <string>

#include "diag/trace.h"
#include "http/outcome_rules.h"
#include "http/send_http_request.h"
#include "report/event_id.h"
#include "report/event_text.h"
#include "report/payload.h"
#include "report/report_outcome.h"
#include "report/retry_policy.h"
#include "worker/worker.h"

namespace {

constexpr std::int32_t kReportTimeoutMs = 5000;

// Jitter only spreads retries of many installers apart; it needs no strong randomness.
std::uint32_t RetryRandom() {
  static std::mt19937 generator(GetTickCount() ^ GetCurrentProcessId());
  return static_cast<std::uint32_t>(generator());
}

// A report waiting for its next attempt when the host unloads the plug-in.
void DropReportJobArgs(void* args) {
  const auto* record = static_cast<const ReportJobArgs*>(args);
  DebugTrace(__FILE__, __LINE__, "report %s given up at the unload after %d attempts\n", record->id.c_str(),
             record->attempts);
  ReleaseReportJobArgs(args);
}

// One attempt, its status and outcome stored and traced; then the record goes on to a retry
// or is released. An empty URL is refused without one.
void Attempt(ReportJobArgs* record) {
  if (record->url[0] == '\0') {
    g_lastStatus.store(0);
    g_lastOutcome = {OutcomeWord::Url, 0};
    TraceRefusal(g_lastOutcome);
    ReleaseReportJobArgs(record);
    return;
  }
  if (record->attempts == 0) {
    const EventFields fields = ParseEventText(record->eventText);
    record->id = MakeEventId();
    record->body = BuildReportPayload(fields.eventName, record->id.c_str(), fields.appVersion, fields.channel,
                                      EnvironmentForUrl(record->url), record->added);
  }
  const HttpHeaderList headers{{"Content-Type", "application/json"}, {"Accept-Language", "en-US"}};

  std::int32_t statusCode = 0;
  std::string response;
  HttpFailureDetails details;
  const DWORD start = GetTickCount();
  SendHttpRequest("POST", record->url, record->body, headers, kReportTimeoutMs, false, statusCode, response,
                  g_cancelEvent.get(), &details);
  ++record->attempts;
  const Outcome outcome = DescribeAttempt(static_cast<std::uint32_t>(statusCode), details.error, details.viaProxy);
  g_lastStatus.store(statusCode);
  g_lastOutcome = outcome;
  DebugTrace(__FILE__, __LINE__, "report %s attempt %d %s: %s %lu, status %ld, %lu ms\n", record->id.c_str(),
             record->attempts, details.viaProxy ? "proxy" : "direct", OutcomeWordText(outcome.word),
             static_cast<unsigned long>(outcome.code), static_cast<long>(statusCode), GetTickCount() - start);

  const bool retried = record->retried && IsRetriedOutcome(statusCode, details.error);
  if (retried && record->attempts < kMaxReportAttempts) {
    DeferJob(NextRetryWaitMs(record->attempts, statusCode, details.retryAfter,
                             static_cast<std::int64_t>(std::time(nullptr)), RetryRandom()),
             ReportJob, record, DropReportJobArgs);
    return;
  }
  if (statusCode == 0 || retried) {
    DebugTrace(__FILE__, __LINE__, "report %s given up after %d attempts: %s %lu\n", record->id.c_str(),
               record->attempts, OutcomeWordText(outcome.word), static_cast<unsigned long>(outcome.code));
  }
  ReleaseReportJobArgs(record);
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
    g_lastOutcome = {OutcomeWord::Other, ERROR_NOT_ENOUGH_MEMORY};
    ReleaseReportJobArgs(record);
  }
  if (firstRun) CompleteJob();
}
