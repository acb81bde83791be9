#include "report/added_members.h"

#include <algorithm>
#include <iterator>

#include "text/word_list.h"

namespace {

// The document's own members and the context's: a field must not shadow one.
constexpr std::string_view kReservedKeys =
    "app_version channel env event event_type id os_platform package_name package_name_en string_1 user_id "
    "session_id elapsed_ms os_version os_arch process_arch ui_language installer_language silent all_users error_flag "
    "error_level reboot elevated device_id details";

bool IsLowerLetter(char c) { return c >= 'a' && c <= 'z'; }

bool IsFieldKey(std::string_view key) {
  if (key.empty() || key.size() > kMaxFieldKeyBytes || !IsLowerLetter(key[0])) return false;
  const bool plain = std::all_of(key.begin(), key.end(), [](char c) {
    return IsLowerLetter(c) || (c >= '0' && c <= '9') || c == '_';
  });
  return plain && !IsListedWord(key, kReservedKeys);
}

}  // namespace

bool SetReportField(AddedMembers& added, std::string_view key, std::string_view value) {
  if (!IsFieldKey(key) || value.size() > kMaxFieldValueBytes) return false;
  auto& fields = added.fields;
  const auto found = std::find_if(fields.begin(), fields.end(), [key](const auto& f) { return f.first == key; });
  if (value.empty()) {
    if (found != fields.end()) fields.erase(found);
  } else if (found != fields.end()) {
    found->second.assign(value.data(), value.size());
  } else if (fields.size() < kMaxFields) {
    fields.emplace_back(std::string(key), std::string(value));
  } else {
    return false;
  }
  return true;
}

const char* MachineArchName(std::uint16_t machine) {
  switch (machine) {
    case 0x014C: return "x86";    // IMAGE_FILE_MACHINE_I386
    case 0x8664: return "x64";    // IMAGE_FILE_MACHINE_AMD64
    case 0xAA64: return "arm64";  // IMAGE_FILE_MACHINE_ARM64
    default: return "";
  }
}
