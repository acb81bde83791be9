#include "plugin/format_command.h"

#include <cstring>
#include <utility>

#include "nsis/include/pluginapi.h"
#include "plugin/member_commands.h"
#include "vendors/vendor_body.h"

namespace {

constexpr std::size_t kLongestFormatName = 16;
constexpr std::size_t kLongestKey = 256;

ReportShape g_shape;

}  // namespace

int SetFormatCommand() {
  // One byte more than allowed, so that a longer text is seen cut.
  char name[kLongestFormatName + 2] = {};
  char key[kLongestKey + 2] = {};
  const Popped poppedName = PopArgument(name, sizeof name, Traced::Whole);
  const Popped poppedKey = PopArgument(key, sizeof key, Traced::LengthOnly);
  if (!ReportsStillQueued() || poppedName != Popped::Whole || poppedKey != Popped::Whole) return 0;
  const std::optional<ReportFormat> format = ReportFormatNamed(name);
  const std::size_t keyLength = std::strlen(key);
  if (!format || (FormatTakesKey(*format) && (keyLength == 0 || keyLength > kLongestKey))) return 0;
  // A field set already would be lost in the format's body: a 1 means every later report has it.
  for (const auto& field : CaptureAddedMembers().fields) {
    if (FormatSetsField(*format, field.first)) return 0;
  }
  ReportShape shape;
  shape.format = *format;
  if (FormatTakesKey(*format)) shape.key = key;
  if (*format != ReportFormat::Kestrel) {
    shape.runId = RunSessionId();
    if (shape.runId.empty()) return 0;
  }
  g_shape = std::move(shape);
  return 1;
}

ReportShape CaptureReportShape() { return g_shape; }
