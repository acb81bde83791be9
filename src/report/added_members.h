#pragma once

// The rules for what a script adds to later reports.

#include <cstdint>
#include <string_view>

#include "common/report_additions.h"

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
