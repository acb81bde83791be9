#pragma once

// What a script adds to the reports it queues after asking: the run's context
// (NSAddContext), fields of its own (NSSetField), the machine's id (NSSetDeviceId) and the
// installer's details lines (NSAttachDetails, for one report). A
// report takes a copy when it is queued, so a later change never reaches a report already
// queued. Both the plug-in's own document and the vendors' formats read it.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The context members; `elapsedMs`, `installerLanguage` and how the installer runs (NSIS's
// execution flags) are taken at each report's queueing, the rest once a run.
struct ReportContext {
  std::string sessionId;    // 32 hexadecimal digits, random, never stored
  std::uint32_t elapsedMs = 0;
  std::string osVersion;    // major.minor.build as the kernel reports it
  std::string osArch;       // the machine's: x86, x64 or arm64
  std::string processArch;  // the installer's own
  std::string uiLanguage;   // BCP 47, e.g. en-US
  std::string installerLanguage;  // BCP 47 of the installer's $LANGUAGE, e.g. fr-FR
  bool silent = false;     // a silent installer or uninstaller
  bool allUsers = false;   // SetShellVarContext all
  bool errorFlag = false;  // the script's error flag
  bool reboot = false;     // a reboot was flagged
  bool elevated = false;   // the process token is elevated
  int errorLevel = 0;      // SetErrorLevel
};

struct AddedMembers {
  bool hasContext = false;
  ReportContext context;
  std::vector<std::pair<std::string, std::string>> fields;  // distinct keys
  std::string deviceId;  // empty: each run counts as a device of its own
  std::string details;   // scrubbed lines joined by '\n', oldest first; empty: none attached
};

// Writes how the installer runs into `object` (a JSON object of Kestrel's document or a vendor's
// properties), as booleans and a number: one loop, not a call sequence per member.
template <typename Object>
[[gnu::noinline]] void SetRunFlags(Object& object, const ReportContext& context) {
  const bool flags[] = {context.silent, context.allUsers, context.errorFlag, context.reboot, context.elevated};
  const char* name = "silent\0all_users\0error_flag\0reboot\0elevated";
  for (const bool flag : flags) {
    object[name] = flag;
    name += std::char_traits<char>::length(name) + 1;
  }
  object["error_level"] = context.errorLevel;
}
