#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "report/added_members.h"

// Independent checks of the report code, shared by the property test and the fuzzer.

struct ReportValues {
  std::string eventName;
  std::string eventId;
  std::string appVersion;
  std::string channel;
  std::string environment;
  std::map<std::string, std::string> fields;  // the script's own
  std::optional<ReportContext> context;
  std::string details;  // empty: none attached
};

// The fields of an event text, found without touching the text.
std::vector<std::string> ReferenceFields(const std::string& text);

// Empty when `body` is the report body for `values`: one line, no byte below 0x20,
// members in key order, only the allowed escapes (upper-case \u00XX for control bytes
// only), and jsoncpp's strict reader gives back every value byte for byte. Otherwise
// says what is wrong.
std::string CheckReportBody(const std::string& body, const ReportValues& values);
