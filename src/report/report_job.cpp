#include "report/report_job.h"

#include <cstdlib>
#include <string>

#include "http/send_http_request.h"
#include "report/event_id.h"
#include "report/event_text.h"
#include "report/payload.h"
#include "worker/worker.h"

namespace {

constexpr std::int32_t kReportTimeoutMs = 5000;

}  // namespace

void ReleaseReportJobArgs(void* args) {
  auto* record = static_cast<ReportJobArgs*>(args);
  std::free(record->url);
  std::free(record->eventText);
  delete record;
}

void WINAPI ReportJob(void* args) {
  BeginJob();
  auto* record = static_cast<ReportJobArgs*>(args);

  const EventFields fields = ParseEventText(record->eventText);
  const std::string environment = EnvironmentForUrl(record->url);
  const std::string eventId = MakeEventId();
  std::string body = BuildReportPayload(fields.eventName, eventId, fields.appVersion,
                                        fields.channel, environment);
  HttpHeaderList headers{{"Content-Type", "application/json"}, {"Accept-Language", "en-US"}};

  std::int32_t statusCode = 0;
  std::string response;
  SendHttpRequest("POST", record->url, std::move(body), std::move(headers), kReportTimeoutMs,
                  false, statusCode, response, g_cancelEvent.get());
  g_lastStatus.store(statusCode);

  ReleaseReportJobArgs(record);
  CompleteJob();
}
