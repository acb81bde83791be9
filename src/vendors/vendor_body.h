#pragma once

#include <string>
#include <string_view>

#include "vendors/report_format.h"
#include "vendors/vendor_event.h"

// The vendor formats' three questions, each answered by the vendor's own mapping. Pure:
// native tests and fuzzers reach them. Not for ReportFormat::Kestrel.

// The rule of the vendor's that `event` breaks and that the vendor would answer with a
// silent drop, named for the trace ("ga4: event name over 40 characters"); null when
// the event may be sent. Nothing is ever cut to fit.
const char* BrokenVendorRule(ReportFormat format, const VendorEvent& event);

// The one-line JSON body the vendor's ingestion API takes for `event`. Texts are the
// installer's bytes (UTF-8 in the Unicode builds), written as WriteCompactJson does.
std::string BuildVendorBody(ReportFormat format, const VendorEvent& event);

// Whether a 2xx answer, read as the vendor's own client reads it, says the event was
// taken: `answer` is the first few KiB of its body. False for Mixpanel's 0 and
// {"status":0}, and for Amplitude's JSON code other than 200.
bool VendorTookEvent(ReportFormat format, std::string_view answer);

// Whether the format's body sets `key` itself where the script's fields go, so that a field
// so named would be lost or mistaken for the vendor's own (Mixpanel's token, PostHog's
// distinct_id). Any format, Kestrel's included.
bool FormatSetsField(ReportFormat format, std::string_view key);
