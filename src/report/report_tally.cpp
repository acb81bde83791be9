#include "report/report_tally.h"

#include <atomic>

#include "diag/trace.h"

namespace {

constexpr std::uint64_t kTakenUnit = std::uint64_t{1} << 32;

std::uint32_t g_asked = 0;  // host's thread only
// Taken in the high half, failed in the low one: a single load reads both as they stood
// together, so that `waiting` never counts a report that just ended twice or not at all.
std::atomic<std::uint64_t> g_ended{0};

}  // namespace

void CountReportAsked() { ++g_asked; }

void CountReportEnded(bool taken) { g_ended.fetch_add(taken ? kTakenUnit : 1); }

ReportTally CurrentTally() {
  const std::uint64_t ended = g_ended.load();
  const auto taken = static_cast<std::uint32_t>(ended >> 32);
  const auto failed = static_cast<std::uint32_t>(ended);
  return {taken, failed, g_asked - taken - failed};
}

void TraceTallyAtUnload() {
  const ReportTally tally = CurrentTally();
  DebugTrace(__FILE__, __LINE__, "unload: reports taken %lu, failed %lu, waiting %lu\n",
             static_cast<unsigned long>(tally.taken), static_cast<unsigned long>(tally.failed),
             static_cast<unsigned long>(tally.waiting));
}
