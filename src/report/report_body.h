#pragma once

#include <cstdint>
#include <string>

#include "report/added_members.h"
#include "vendors/report_format.h"

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
  const ReportShape& shape;
  const AddedMembers& added;
  // Vendors take UTF-8 only: the script's texts are converted with this, unless null (they
  // are UTF-8 already). The context is UTF-8 from the start.
  std::string (*scriptTextToUtf8)(const std::string& text) = nullptr;
};

// Writes the body every attempt of the report sends into `body`. Null when done; otherwise
// the vendor's rule that the report breaks (a text for the trace), and `body` is untouched.
const char* BuildReportBody(const ReportMaterial& material, std::string& body);
