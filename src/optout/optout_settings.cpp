#include "optout/optout_settings.h"

#include <windows.h>

#include "common/unique_handle.h"
#include "optout/optout_rules.h"

namespace {

BOOL WINAPI CloseRegistryKey(HKEY key) { return RegCloseKey(key) == ERROR_SUCCESS; }
using UniqueRegistryKey = UniqueResource<HKEY, CloseRegistryKey>;

enum class Reports { Unread, On, Off };
Reports g_reports = Reports::Unread;

// DO_NOT_TRACK as far as the rules need it, into `buffer` and without allocating, since it is
// read before a command takes its arguments: empty when unset; a value too long for the
// buffer is longer than every value that keeps reports on, so any such text stands for it.
std::string_view DoNotTrack(char (&buffer)[8]) {
  const DWORD length = GetEnvironmentVariableA("DO_NOT_TRACK", buffer, sizeof buffer);
  if (length >= sizeof buffer) return "set";
  return std::string_view(buffer, length);
}

// DisableReports under `root` in one registry view (KEY_WOW64_64KEY or KEY_WOW64_32KEY);
// 0 when not configured.
std::uint32_t PolicyValue(HKEY root, REGSAM view) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(root, "SOFTWARE\\Policies\\Kestrel", 0, KEY_QUERY_VALUE | view, &opened) != ERROR_SUCCESS) {
    return 0;
  }
  const UniqueRegistryKey key(opened);
  DWORD value = 0;
  DWORD size = sizeof value;
  if (RegGetValueA(key.get(), nullptr, "DisableReports", RRF_RT_REG_DWORD, nullptr, &value, &size) !=
      ERROR_SUCCESS) {
    return 0;
  }
  return value;
}

}  // namespace

bool ReportsEnabled() {
  if (g_reports == Reports::Unread) {
    // A 32-bit tool's policy stands under WOW6432Node wherever the system keeps the views of
    // SOFTWARE\Policies apart; HKCU's software key is one for both views.
    char doNotTrack[8];
    const OptOutSettings settings{DoNotTrack(doNotTrack),
                                  PolicyValue(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY),
                                  PolicyValue(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY),
                                  PolicyValue(HKEY_CURRENT_USER, KEY_WOW64_64KEY)};
    g_reports = ReportsAllowed(settings) ? Reports::On : Reports::Off;
  }
  return g_reports == Reports::On;
}
