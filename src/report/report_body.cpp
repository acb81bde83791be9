#include "report/report_body.h"

#include <vector>

#include "report/event_text.h"
#include "report/payload.h"
#include "vendors/vendor_body.h"

namespace {

// A vendor format takes whatever fields the text has: "install_start" is still that event.
VendorEvent VendorEventOf(const ReportMaterial& material) {
  std::vector<std::string> fields;
  SplitEventText(material.eventText, fields);
  fields.resize(3);
  const auto utf8 = [&material](const std::string& text) {
    return material.scriptTextToUtf8 ? material.scriptTextToUtf8(text) : text;
  };
  VendorEvent event;
  event.name = fields[0].empty() ? EventFields().eventName : utf8(fields[0]);
  event.channel = utf8(fields[1]);
  event.appVersion = utf8(fields[2]);
  event.environment = EnvironmentForUrl(material.url);
  event.id = material.id;
  event.timeMs = material.queuedMs;
  event.runId = material.shape.runId;
  event.key = material.shape.key;
  event.added = material.added;
  for (auto& field : event.added.fields) field.second = utf8(field.second);
  return event;
}

}  // namespace

const char* BuildReportBody(const ReportMaterial& material, std::string& body) {
  const ReportFormat format = material.shape.format;
  if (format == ReportFormat::Kestrel) {
    const EventFields fields = ParseEventText(material.eventText);
    body = BuildReportPayload(fields.eventName, material.id, fields.appVersion, fields.channel,
                              EnvironmentForUrl(material.url), material.added);
    return nullptr;
  }
  const VendorEvent event = VendorEventOf(material);
  if (const char* rule = BrokenVendorRule(format, event)) return rule;
  body = BuildVendorBody(format, event);
  return nullptr;
}
