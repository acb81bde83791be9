#include "plugin/detail_commands.h"

#include <cstring>

#include "nsis/include/pluginapi.h"
#include "plugin/installer_details.h"
#include "plugin/member_commands.h"
#include "text/ascii_case.h"
#include "text/newest_lines.h"

namespace {

constexpr unsigned kMaxLines = 50;
constexpr std::size_t kMaxKeptLineBytes = 512;
constexpr std::size_t kMaxDetailsBytes = 4096;
// A whole NSIS string as UTF-8, so that a name is scrubbed before the line is cut.
constexpr std::size_t kLongestPoppedLine = 1024 * 3;

// The kept lines: a ring of fixed memory, the oldest overwritten first.
char g_keptLines[kMaxLines][kMaxKeptLineBytes + 1];
unsigned g_nextKept = 0;
unsigned g_keptCount = 0;
unsigned g_attachLines = 0;  // asked for by the next report; 0: none

}  // namespace

int AttachDetailsCommand() {
  char text[8] = {};
  const Popped popped = PopArgument(text, sizeof text, Traced::Whole);
  if (!ReportsStillQueued() || popped != Popped::Whole) return 0;
  unsigned lines = 0;
  for (const char* c = text; *c; ++c) {
    if (!IsAsciiDigit(*c)) return 0;
    lines = lines * 10 + static_cast<unsigned>(*c - '0');
  }
  if (lines < 1 || lines > kMaxLines) return 0;
  g_attachLines = lines;
  return 1;
}

int AddDetailCommand() {
  char text[kLongestPoppedLine + 1] = {};
  if (PopArgument(text, sizeof text, Traced::LengthOnly) == Popped::Missing || !ReportsStillQueued()) return 0;
  std::string line;
  AppendScrubbed(line, text, DetailScrubNames());
  const std::size_t length = FittingLength(line, kMaxKeptLineBytes);
  char* kept = g_keptLines[g_nextKept];
  std::memcpy(kept, line.data(), length);
  kept[length] = '\0';
  g_nextKept = (g_nextKept + 1) % kMaxLines;
  if (g_keptCount < kMaxLines) ++g_keptCount;
  return 1;
}

std::string CaptureDetails() {
  const unsigned wanted = g_attachLines;
  g_attachLines = 0;
  std::string lines;
  if (wanted != 0 && !AppendDetailsListRows(g_parentWindow, wanted, lines)) {
    for (unsigned i = wanted < g_keptCount ? wanted : g_keptCount; i > 0; --i) {
      lines += g_keptLines[(g_nextKept + kMaxLines - i) % kMaxLines];
      lines += '\n';
    }
  }
  if (!lines.empty()) lines.pop_back();
  return std::string(NewestLinesWithin(lines, kMaxDetailsBytes));
}
