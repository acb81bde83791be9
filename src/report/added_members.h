#pragma once

// What a script adds to the reports it queues after asking: the run's context
// (NSAddContext) and fields of its own (NSSetField). A report takes a copy when it is
// queued, so a later change never reaches a report already queued.

#include <cstdint>
#include <string>
#include <string_view>
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
};

constexpr std::size_t kMaxFieldKeyBytes = 64;
constexpr std::size_t kMaxFieldValueBytes = 256;
constexpr std::size_t kMaxFields = 16;

// Sets `key` to `value` for later reports, replacing an earlier value; an empty value
// removes the field. False, and nothing changed, when refused: a key that is not 1 to
// 64 bytes of a-z, 0-9 and '_' starting with a letter, or that names one of the
// document's own members or a context member; a 17th field; a value over 256 bytes.
bool SetReportField(AddedMembers& added, std::string_view key, std::string_view value);

// "x86", "x64" or "arm64" for an IMAGE_FILE_MACHINE_* value; empty for any other.
const char* MachineArchName(std::uint16_t machine);
