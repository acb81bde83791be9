#include "vendors/report_format.h"

#include "text/ascii_case.h"

namespace {

struct NamedFormat {
  ReportFormat format;
  const char* name;
};

constexpr NamedFormat kFormats[] = {
    {ReportFormat::Kestrel, "kestrel"},     {ReportFormat::PostHog, "posthog"},
    {ReportFormat::Amplitude, "amplitude"}, {ReportFormat::Mixpanel, "mixpanel"},
    {ReportFormat::Segment, "segment"},     {ReportFormat::Ga4, "ga4"},
    // RudderStack's beacon endpoint takes Segment's body; a format's name is its first entry.
    {ReportFormat::Segment, "rudderstack"},
};

}  // namespace

std::optional<ReportFormat> ReportFormatNamed(std::string_view name) {
  for (const NamedFormat& entry : kFormats) {
    if (EqualsIgnoringAsciiCase(name, entry.name)) return entry.format;
  }
  return std::nullopt;
}

const char* ReportFormatName(ReportFormat format) {
  for (const NamedFormat& entry : kFormats) {
    if (entry.format == format) return entry.name;
  }
  return "kestrel";
}

bool FormatTakesKey(ReportFormat format) {
  return format != ReportFormat::Kestrel && format != ReportFormat::Ga4;
}
