#pragma once

// What a script adds to the reports it queues after asking: the run's context
// (NSAddContext), fields of its own (NSSetField) and the machine's id (NSSetDeviceId). A
// report takes a copy when it is queued, so a later change never reaches a report already
// queued. Both the plug-in's own document and the vendors' formats read it.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The context members; `elapsedMs` and `installerLanguage` are taken at each report's
// queueing, the rest once a run.
struct ReportContext {
  std::string sessionId;    // 32 hexadecimal digits, random, never stored
  std::uint32_t elapsedMs = 0;
  std::string osVersion;    // major.minor.build as the kernel reports it
  std::string osArch;       // the machine's: x86, x64 or arm64
  std::string processArch;  // the installer's own
  std::string uiLanguage;   // BCP 47, e.g. en-US
  std::string installerLanguage;  // BCP 47 of the installer's $LANGUAGE, e.g. fr-FR
};

struct AddedMembers {
  bool hasContext = false;
  ReportContext context;
  std::vector<std::pair<std::string, std::string>> fields;  // distinct keys
  std::string deviceId;  // empty: each run counts as a device of its own
};
