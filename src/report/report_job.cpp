#include "report/report_job.h"

#include <cstdlib>
#include <ctime>
#include <string>

#include "common/unix_time.h"
#include "diag/trace.h"
#include "http/outcome_rules.h"
#include "http/send_http_request.h"
#include "http/text_conversion.h"
#include "report/event_id.h"
#include "report/report_tally.h"
#include "report/retry_policy.h"
#include "vendors/vendor_body.h"
#include "worker/worker.h"

namespace {

constexpr std::int32_t kReportTimeoutMs = 5000;
// A vendor's verdict comes first in its answer.
constexpr std::size_t kVendorAnswerKept = 4096;

// Jitter only spreads retries of many installers apart; it needs no strong randomness, and a
// xorshift generator costs a word where std::mt19937 costs 2.5 KB. Only the worker calls it.
std::uint32_t RetryRandom() {
  static std::uint32_t state = 0;
  if (state == 0) state = (GetTickCount() ^ GetCurrentProcessId()) | 1;
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state;
}

// A report waiting for its next attempt when the host unloads the plug-in, or when it cannot end
// before NSWaitDone's limit.
void DropReportJobArgs(void* args) {
  const auto* record = static_cast<const ReportJobArgs*>(args);
  DebugTrace(__FILE__, __LINE__, "report %s given up unsent after %d attempts\n", record->id.c_str(),
             record->attempts);
  ReleaseReportJobArgs(args);
}

// One attempt, its status and outcome stored and traced; then the record goes on to a retry
// or is released.
void Attempt(ReportJobArgs* record) {
  const ReportFormat format = record->shape.format;
  const bool vendorFormat = format != ReportFormat::Kestrel;
  if (record->attempts == 0) {
    record->id = MakeEventId();
    ReportMaterial material{record->eventText, record->url, record->id, record->queuedMs, record->shape,
                            record->added};
#ifndef UNICODE
    material.scriptTextToUtf8 = AnsiToUtf8;
#endif
    if (const char* rule = PrepareReport(material, record->prepared)) {
      g_lastStatus.store(0);
      g_lastOutcome = {OutcomeWord::Invalid, 0};
      DebugTrace(__FILE__, __LINE__, "report %s not sent: %s\n", record->id.c_str(), rule);
      ReleaseReportJobArgs(record);
      return;
    }
  }
  const HttpHeaderList headers{{"Content-Type", "application/json"}, {"Accept-Language", "en-US"}};
  // A vendor's key goes to a public service: its certificate must hold.
  HttpSendOptions options;
  options.checkCertificates = vendorFormat;
  if (vendorFormat) options.responseKept = kVendorAnswerKept;

  std::int32_t statusCode = 0;
  std::string answer;
  HttpFailureDetails details;
  const DWORD start = GetTickCount();
  SendHttpRequest("POST", record->url, AttemptBody(record->prepared, UnixTimeMs()), headers, kReportTimeoutMs, true,
                  statusCode, answer, g_cancelEvent.get(), &details, options);
  ++record->attempts;
  Outcome outcome = DescribeAttempt(static_cast<std::uint32_t>(statusCode), details.error, details.viaProxy);
  // A 2xx that says the event was dropped is no success, and the same body would be dropped again.
  const bool refused =
      outcome.word == OutcomeWord::Ok && vendorFormat && !VendorTookEvent(format, answer);
  if (refused) outcome.word = OutcomeWord::Refused;
  record->taken = outcome.word == OutcomeWord::Ok;
  g_lastStatus.store(refused ? 0 : statusCode);
  g_lastOutcome = outcome;
  DebugTrace(__FILE__, __LINE__, "report %s attempt %d %s: %s %lu, status %ld, %lu ms\n", record->id.c_str(),
             record->attempts, details.viaProxy ? "proxy" : "direct", OutcomeWordText(outcome.word),
             static_cast<unsigned long>(outcome.code), static_cast<long>(statusCode), GetTickCount() - start);

  const bool retried = record->retried && IsRetriedOutcome(statusCode, details.error);
  if (retried && record->attempts < kMaxReportAttempts) {
    DeferJob(NextRetryWaitMs(record->attempts, statusCode, details.retryAfter,
                             static_cast<std::int64_t>(std::time(nullptr)), RetryRandom()),
             ReportJob, record, DropReportJobArgs, SaysNoNetwork(statusCode, details.error));
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
  CountReportEnded(record->taken);
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
