#include "vendors/vendor_common.h"

#include "common/civil_date.h"
#include "text/ascii_case.h"
#include "text/letters.h"
#include "text/newest_lines.h"

namespace {

void AppendDigits(std::string& out, std::uint64_t value, int width) {
  char digits[24];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  for (int i = count; i < width; ++i) out += '0';
  while (count > 0) out += digits[--count];
}

}  // namespace

const char* LibraryVersion() { return KESTREL_VERSION; }

std::string IsoTimeUtc(std::uint64_t unixMs) {
  const std::uint64_t seconds = unixMs / 1000;
  const std::uint64_t daySeconds = seconds % 86400;
  const CivilDate date = CivilFromDays(static_cast<std::int64_t>(seconds / 86400));

  std::string out;
  AppendDigits(out, static_cast<std::uint64_t>(date.year), 4);
  out += '-';
  AppendDigits(out, static_cast<std::uint64_t>(date.month), 2);
  out += '-';
  AppendDigits(out, static_cast<std::uint64_t>(date.day), 2);
  out += 'T';
  AppendDigits(out, daySeconds / 3600, 2);
  out += ':';
  AppendDigits(out, daySeconds / 60 % 60, 2);
  out += ':';
  AppendDigits(out, daySeconds % 60, 2);
  out += '.';
  AppendDigits(out, unixMs % 1000, 3);
  out += 'Z';
  return out;
}

bool IsReportId(std::string_view id) {
  if (id.size() != 32) return false;
  for (const char c : id) {
    if (!IsAsciiHexDigit(c)) return false;
  }
  return true;
}

std::string UuidForm(std::string_view id) {
  const bool reportId = IsReportId(id);
  std::string out;
  for (std::size_t i = 0; i < id.size(); ++i) {
    if (reportId && (i == 8 || i == 12 || i == 16 || i == 20)) out += '-';
    out += AsciiLower(id[i]);
  }
  return out;
}

std::size_t CharacterCount(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t at = 0; at < text.size(); ++count) NextCharacter(text, at);
  return count;
}

void SetIfNotEmpty(Json::Value& object, const char* key, const std::string& value) {
  if (!value.empty()) object[key] = Json::Value(value);
}

const std::string& DeviceIdOf(const VendorEvent& event) {
  return event.added.deviceId.empty() ? event.runId : event.added.deviceId;
}

Json::Value EventProperties(const VendorEvent& event, DetailsLimit details, bool withUiLanguage) {
  Json::Value properties(Json::objectValue);
  for (const auto& [key, value] : event.added.fields) properties[key] = Json::Value(value);
  const std::string_view lines = NewestLinesWithin(event.added.details, details.size, details.inCharacters);
  if (!lines.empty()) properties["details"] = Json::Value(lines.data(), lines.data() + lines.size());
  SetIfNotEmpty(properties, "channel", event.channel);
  properties["env"] = Json::Value(event.environment);
  if (event.added.hasContext) {
    const ReportContext& context = event.added.context;
    SetIfNotEmpty(properties, "session_id", context.sessionId);
    properties["elapsed_ms"] = Json::Value(Json::UInt(context.elapsedMs));
    SetIfNotEmpty(properties, "os_arch", context.osArch);
    SetIfNotEmpty(properties, "process_arch", context.processArch);
    if (withUiLanguage) SetIfNotEmpty(properties, "ui_language", context.uiLanguage);
    SetIfNotEmpty(properties, "installer_language", context.installerLanguage);
    SetRunFlags(properties, context);
  }
  return properties;
}
