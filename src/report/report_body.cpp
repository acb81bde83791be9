#include "report/report_body.h"

#include <utility>
#include <vector>

#include "report/event_text.h"
#include "report/payload.h"
#include "vendors/vendor_body.h"

namespace {

// A vendor format takes whatever fields the text has: "install_start" is still that event.
void FillVendorEvent(const ReportMaterial& material, VendorEvent& event) {
  std::vector<std::string> fields;
  SplitEventText(material.eventText, fields);
  fields.resize(3);
  const auto utf8 = [&material](const std::string& text) {
    return material.scriptTextToUtf8 ? material.scriptTextToUtf8(text) : text;
  };
  event.name = fields[0].empty() ? EventFields().eventName : utf8(fields[0]);
  event.channel = utf8(fields[1]);
  event.appVersion = utf8(fields[2]);
  event.environment = EnvironmentForUrl(material.url);
  event.url = material.url;
  event.id = material.id;
  event.timeMs = material.queuedMs;
  event.runId = std::move(material.shape.runId);
  event.key = std::move(material.shape.key);
  event.added = std::move(material.added);
  for (auto& field : event.added.fields) field.second = utf8(field.second);
  event.added.details = utf8(event.added.details);
}

}  // namespace

const char* PrepareReport(const ReportMaterial& material, PreparedReport& prepared) {
  prepared.format = material.shape.format;
  if (prepared.format == ReportFormat::Kestrel) {
    const EventFields fields = ParseEventText(material.eventText);
    prepared.document = BuildReportPayload(fields.eventName, material.id, fields.appVersion, fields.channel,
                                           EnvironmentForUrl(material.url), material.added);
    return nullptr;
  }
  FillVendorEvent(material, prepared.event);
  return BrokenVendorRule(prepared.format, prepared.event);
}

std::string AttemptBody(PreparedReport& prepared, std::uint64_t sentMs) {
  if (prepared.format == ReportFormat::Kestrel) return prepared.document;
  prepared.event.sentMs = sentMs;
  return BuildVendorBody(prepared.format, prepared.event);
}
