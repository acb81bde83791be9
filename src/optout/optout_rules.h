#pragma once

// Whether the machine lets the plug-in send reports, from what optout_settings read.

#include <cstdint>
#include <string_view>

// The opt-out's sources as read: an unset variable reads as empty, a policy that is
// not configured (or is not a DWORD) as 0.
struct OptOutSettings {
  std::string_view doNotTrack;        // the DO_NOT_TRACK environment variable
  std::uint32_t machinePolicy = 0;    // DisableReports under HKLM\SOFTWARE\Policies\Kestrel, 64-bit view
  std::uint32_t machinePolicy32 = 0;  // the same in the 32-bit view (under WOW6432Node)
  std::uint32_t userPolicy = 0;       // DisableReports under HKCU\SOFTWARE\Policies\Kestrel
};

// Off as soon as one source says so: no source turns reports back on against another,
// so a machine policy of 0 does not overrule a user's 1, nor DO_NOT_TRACK=0 a policy.
bool ReportsAllowed(const OptOutSettings& settings);
