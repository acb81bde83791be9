#pragma once

// What several vendors' mappings share: the library's own name, the time and id forms,
// and the members that every vendor takes as plain event properties.

#include <json/value.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "vendors/vendor_event.h"

constexpr char kLibraryName[] = "kestrel";
constexpr char kOsName[] = "Windows";

// The plug-in's version, as its DLL's properties give it.
const char* LibraryVersion();

// ISO 8601 in UTC with milliseconds: 2026-12-01T09:30:00.123Z.
std::string IsoTimeUtc(std::uint64_t unixMs);

// Whether `id` is a report id: 32 hexadecimal digits, either case.
bool IsReportId(std::string_view id);

// A report id as a UUID, 8-4-4-4-12 in lower case; any other text just lower-cased.
std::string UuidForm(std::string_view id);

// The characters of `text` as a UTF-8 decoder sees them: a sequence counts once, cut
// short or not, and every other byte once (so an ANSI text is never counted short).
std::size_t CharacterCount(std::string_view text);

void SetIfNotEmpty(Json::Value& object, const char* key, const std::string& value);

// The id the vendor counts devices by: the script's device id, else the run's (so that each
// run counts as a device).
const std::string& DeviceIdOf(const VendorEvent& event);

// The most of the attached details lines that one value of a vendor's may hold: bytes, or
// characters where the vendor counts those.
struct DetailsLimit {
  std::size_t size;
  bool inCharacters;
};
constexpr DetailsLimit kDetailsBytes{4096, false};  // Kestrel's own bound, for vendors with none smaller

// The script's fields, the channel (when the event text has one), the environment,
// the context's members (ui_language only `withUiLanguage`, for a vendor with no field of
// its own for it; installer_language always, beside the vendor's field for the system's
// language) and the newest details lines that fit `details`, keyed as in the plug-in's own
// document. SetReportField keeps the fields' keys apart from all of these.
Json::Value EventProperties(const VendorEvent& event, DetailsLimit details, bool withUiLanguage = false);
