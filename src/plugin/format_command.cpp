#include "plugin/format_command.h"

#include <cstring>
#include <utility>

#include "nsis/include/pluginapi.h"
#include "plugin/member_commands.h"
#include "vendors/vendor_body.h"
#include "vendors/vendor_hosts.h"

namespace {

constexpr std::size_t kLongestFormatName = 16;
constexpr std::size_t kLongestKey = 256;

ReportShape g_shape;
// Why the latest NSSetFormat was refused, until one is taken: no report goes out meanwhile,
// rather than in a shape the script did not choose.
const char* g_refusal = nullptr;

// Why `format` is refused with that key; null when taken.
const char* KeyRefusal(ReportFormat format, const char* key, Popped keyPopped) {
  if (keyPopped != Popped::Whole || std::strlen(key) > kLongestKey) return "NSSetFormat: key over 256 bytes";
  if (FormatTakesKey(format) == (key[0] != '\0')) return nullptr;
  return FormatTakesKey(format) ? "NSSetFormat: no key" : "NSSetFormat: a key where none is taken";
}

}  // namespace

int SetFormatCommand() {
  // One byte more than allowed, so that a longer text is seen cut.
  char name[kLongestFormatName + 2] = {};
  char key[kLongestKey + 2] = {};
  const Popped poppedName = PopArgument(name, sizeof name, Traced::Whole);
  const Popped poppedKey = PopArgument(key, sizeof key, Traced::LengthOnly);
  if (!ReportsStillQueued()) return 0;  // later reports are refused as off or ended anyway
  // Kept when an argument is missing, no run id can be made, or memory runs out below.
  g_refusal = "NSSetFormat: refused";
  if (poppedName == Popped::Missing || poppedKey == Popped::Missing) return 0;
  const std::optional<ReportFormat> named = poppedName == Popped::Whole ? ReportFormatNamed(name) : std::nullopt;
  const ReportFormat format = named.value_or(ReportFormat::Kestrel);
  if (const char* refusal = named ? KeyRefusal(format, key, poppedKey) : "NSSetFormat: unknown format name") {
    g_refusal = refusal;
    return 0;
  }
  // A field set already would be lost in the format's body: a 1 means every later report has it.
  for (const auto& field : AddedFields()) {
    if (FormatSetsField(format, field.first)) {
      g_refusal = "NSSetFormat: a field set already is one the format sets itself";
      return 0;
    }
  }
  ReportShape shape;
  shape.format = format;
  shape.key = key;
  if (format != ReportFormat::Kestrel) {
    shape.runId = RunSessionId();
    if (shape.runId.empty()) return 0;
  }
  g_shape = std::move(shape);
  g_refusal = nullptr;
  return 1;
}

ReportShape CaptureReportShape() { return g_shape; }

ReportFormat CurrentReportFormat() { return g_shape.format; }

const char* ReportRefusal(const char* url) {
  if (g_refusal) return g_refusal;
  if (g_shape.format == ReportFormat::Kestrel && url && IsVendorIngestionUrl(url)) {
    return "Kestrel's document to a vendor's host";
  }
  return nullptr;
}
