#pragma once

#include <cstdint>
#include <string>

#include "report/added_members.h"
#include "vendors/report_format.h"
#include "vendors/vendor_event.h"

// How the script asked for reports to be sent (NSSetFormat), as it stood when a report was
// queued.
struct ReportShape {
  ReportFormat format = ReportFormat::Kestrel;
  std::string key;    // the vendor's key; never traced
  std::string runId;  // the run's session id, for vendor formats
};

// What a report's body is made of, all taken when it was queued but the id.
struct ReportMaterial {
  char* eventText;  // consumed: split in place
  const char* url;
  std::string id;
  std::uint64_t queuedMs;  // Unix time in milliseconds
  ReportShape& shape;   // consumed by a vendor format, as `added`: moved into its event
  AddedMembers& added;
  // Vendors take UTF-8 only: the script's texts are converted with this, unless null (they
  // are UTF-8 already). The context is UTF-8 from the start.
  std::string (*scriptTextToUtf8)(const std::string& text) = nullptr;
};

// A report as its first attempt prepares it for all: Kestrel's document, whole, or the
// vendor's event, whose body each attempt writes with its own time of sending.
struct PreparedReport {
  ReportFormat format = ReportFormat::Kestrel;
  std::string document;
  VendorEvent event;
};

// Prepares `prepared`. Null when done; otherwise the vendor's rule that the report breaks (a
// text for the trace), and nothing is to be sent.
const char* PrepareReport(const ReportMaterial& material, PreparedReport& prepared);

// The body of the attempt sent at `sentMs` (Unix time in milliseconds): the event's time and
// id stay those of the queueing.
std::string AttemptBody(PreparedReport& prepared, std::uint64_t sentMs);
