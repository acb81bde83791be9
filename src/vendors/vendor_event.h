#pragma once

#include <cstdint>
#include <string>

#include "common/report_additions.h"

// One report as a vendor format sees it: what the script's event text named, what the
// report carries besides, and what the format sends with it. Built once per report, so
// that every attempt sends the same event (its id and time included); only the time of
// sending is each attempt's own.
struct VendorEvent {
  std::string name;         // the event text's first field; never empty
  std::string channel;      // its second field, empty when the text has none
  std::string appVersion;   // its third field, empty when the text has none
  std::string environment;  // "prd" or "test", as the URL decides
  std::string id;           // the report's id: 32 hexadecimal digits
  std::uint64_t timeMs = 0;  // Unix time in milliseconds, taken when the report was queued
  std::string runId;        // the run's session id: 32 hexadecimal digits, the same all run
  std::string key;          // the vendor's key, empty for formats that take none
  AddedMembers added;       // the script's fields, and the context when it asked for one
  std::uint64_t sentMs = 0;  // Unix time in milliseconds, taken by the attempt that sends it
  std::string url;           // where it goes; its query's values are keys, never traced
};
