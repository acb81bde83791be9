#include "vendors/vendor_body.h"

#include "vendors/vendor_mappings.h"

// Kestrel's own document is built elsewhere: it has no vendor rule, no vendor body, and
// its 2xx answers are taken as ever.

const char* BrokenVendorRule(ReportFormat format, const VendorEvent& event) {
  switch (format) {
    case ReportFormat::PostHog: return PostHogBrokenRule(event);
    case ReportFormat::Amplitude: return AmplitudeBrokenRule(event);
    case ReportFormat::Mixpanel: return MixpanelBrokenRule(event);
    case ReportFormat::Segment: return SegmentBrokenRule(event);
    case ReportFormat::Ga4: return Ga4BrokenRule(event);
    case ReportFormat::Kestrel: break;
  }
  return nullptr;
}

std::string BuildVendorBody(ReportFormat format, const VendorEvent& event) {
  switch (format) {
    case ReportFormat::PostHog: return PostHogBody(event);
    case ReportFormat::Amplitude: return AmplitudeBody(event);
    case ReportFormat::Mixpanel: return MixpanelBody(event);
    case ReportFormat::Segment: return SegmentBody(event);
    case ReportFormat::Ga4: return Ga4Body(event);
    case ReportFormat::Kestrel: break;
  }
  return std::string();
}

bool FormatSetsField(ReportFormat format, std::string_view key) {
  switch (format) {
    case ReportFormat::PostHog: return PostHogSetsProperty(key);
    case ReportFormat::Mixpanel: return MixpanelSetsProperty(key);
    case ReportFormat::Ga4: return Ga4SetsProperty(key);
    case ReportFormat::Amplitude:
    case ReportFormat::Segment:
    case ReportFormat::Kestrel: break;
  }
  return false;
}

bool VendorTookEvent(ReportFormat format, std::string_view answer) {
  switch (format) {
    case ReportFormat::PostHog: return PostHogTookEvent(answer);
    case ReportFormat::Amplitude: return AmplitudeTookEvent(answer);
    case ReportFormat::Mixpanel: return MixpanelTookEvent(answer);
    case ReportFormat::Segment: return SegmentTookEvent(answer);
    case ReportFormat::Ga4: return Ga4TookEvent(answer);
    case ReportFormat::Kestrel: break;
  }
  return true;
}
