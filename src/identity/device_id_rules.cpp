#include "identity/device_id_rules.h"

#include "text/ascii_case.h"
#include "text/word_list.h"

namespace {

constexpr std::size_t kMinBytes = 5;
constexpr std::size_t kMaxBytes = 64;

// PostHog's refused distinct ids and Amplitude's refused device ids of 5 or more of these
// characters, in lower case; the shorter ones ("null", "nil", "none", "id") fail the length
// already, and all-zero ids ("0", a zero GUID) are refused whole.
constexpr std::string_view kPlaceholders =
    "anonymous guest distinctid distinct_id not_authenticated email undefined false unknown invalid lmy47d";

bool IsIdCharacter(char c) {
  return IsAsciiLetter(c) || IsAsciiDigit(c) || c == '-' || c == '_' || c == '{' || c == '}';
}

}  // namespace

bool IsDeviceId(std::string_view id) {
  if (id.size() < kMinBytes || id.size() > kMaxBytes) return false;
  char lower[kMaxBytes];
  bool zeros = true;
  for (std::size_t i = 0; i < id.size(); ++i) {
    if (!IsIdCharacter(id[i])) return false;
    lower[i] = AsciiLower(id[i]);
    zeros = zeros && (id[i] == '0' || id[i] == '-' || id[i] == '{' || id[i] == '}');
  }
  return !zeros && !IsListedWord(std::string_view(lower, id.size()), kPlaceholders);
}
