#pragma once

#include <optional>
#include <string_view>

// The shape a report's body takes: Kestrel's own document, or the event body that an
// analytics vendor's ingestion API takes with nothing but a URL and a JSON body.
enum class ReportFormat {
  Kestrel,    // the plug-in's own document, byte for byte as ever
  PostHog,    // /i/v0/e/: key as api_key
  Amplitude,  // /2/httpapi: key as api_key
  Mixpanel,   // /track: key as properties.token
  Segment,    // /v1/batch, and RudderStack's /beacon/v1/batch: key as writeKey
  Ga4,        // Measurement Protocol /mp/collect: its keys are in the URL
};

// The format a script names ("kestrel", "posthog", "amplitude", "mixpanel", "segment",
// "ga4", in any letter case), or nullopt for any other name.
std::optional<ReportFormat> ReportFormatNamed(std::string_view name);

// The name as the script writes it and the trace shows it.
const char* ReportFormatName(ReportFormat format);

// Whether the format sends a key in its body, so that one is required.
bool FormatTakesKey(ReportFormat format);
