#include "optout/optout_rules.h"

#include "text/ascii_case.h"

namespace {

// Tools read DO_NOT_TRACK as a boolean, as anything but 0, or only as "true"; the
// values that none of them takes for a request keep reports on, every other one
// turns them off.
bool DoNotTrackAsksForNoReports(std::string_view value) {
  return !(value.empty() || value == "0" || EqualsIgnoringAsciiCase(value, "false"));
}

}  // namespace

bool ReportsAllowed(const OptOutSettings& settings) {
  return !DoNotTrackAsksForNoReports(settings.doNotTrack) && settings.machinePolicy == 0 &&
         settings.machinePolicy32 == 0 && settings.userPolicy == 0;
}
