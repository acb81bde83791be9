#include "optout/optout_rules.h"

namespace {

bool IsFalse(const std::string& value) {
  static const char kFalse[] = "false";
  if (value.size() != sizeof kFalse - 1) return false;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if ((c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != kFalse[i]) return false;
  }
  return true;
}

// Tools read DO_NOT_TRACK as a boolean, as anything but 0, or only as "true"; the
// values that none of them takes for a request keep reports on, every other one
// turns them off.
bool DoNotTrackAsksForNoReports(const std::string& value) {
  return !(value.empty() || value == "0" || IsFalse(value));
}

}  // namespace

bool ReportsAllowed(const OptOutSettings& settings) {
  return !DoNotTrackAsksForNoReports(settings.doNotTrack) && settings.machinePolicy == 0 &&
         settings.userPolicy == 0;
}
