#include "identity/device_id_rules.h"

#include "text/ascii_case.h"

namespace {

constexpr std::size_t kMinBytes = 5;
constexpr std::size_t kMaxBytes = 64;

// PostHog's refused distinct ids and Amplitude's refused device ids of 5 or more of these
// characters; the shorter ones ("null", "0", "nil", "none", "id") fail the length already.
constexpr std::string_view kPlaceholders[] = {
    "anonymous", "guest",   "distinctid", "distinct_id", "not_authenticated", "email",
    "undefined", "false",   "unknown",    "invalid",     "lmy47d",
    "00000000-0000-0000-0000-000000000000", "{00000000-0000-0000-0000-000000000000}"};

bool IsIdCharacter(char c) {
  return IsAsciiLetter(c) || IsAsciiDigit(c) || c == '-' || c == '_' || c == '{' || c == '}';
}

}  // namespace

bool IsDeviceId(std::string_view id) {
  if (id.size() < kMinBytes || id.size() > kMaxBytes) return false;
  for (const char c : id) {
    if (!IsIdCharacter(c)) return false;
  }
  for (const std::string_view placeholder : kPlaceholders) {
    if (EqualsIgnoringAsciiCase(id, placeholder)) return false;
  }
  return true;
}
