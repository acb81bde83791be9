#include "plugin/identity_commands.h"

#include <cstring>
#include <string>

#include "diag/trace.h"
#include "http/text_conversion.h"
#include "identity/device_id_rules.h"
#include "identity/machine_id.h"
#include "nsis/include/pluginapi.h"
#include "plugin/member_commands.h"

namespace {

constexpr std::size_t kLongestDeviceId = 64;
constexpr std::size_t kLongestSalt = 256;

}  // namespace

int SetDeviceIdCommand() {
  char id[kLongestDeviceId + 2] = {};  // one byte more, so that a longer id is seen cut
  const Popped popped = PopArgument(id, sizeof id, Traced::LengthOnly);
  // An empty id withdraws the one set before: later reports count by the run again.
  if (!ReportsStillQueued() || popped != Popped::Whole || (id[0] != '\0' && !IsDeviceId(id))) return 0;
  SetAddedDeviceId(id);
  return 1;
}

// The salt is hashed as UTF-8 in every build, and its limit counted in UTF-8 bytes, so that one
// machine and salt give one id whichever build the installer uses. A code page's byte is at
// least one UTF-8 byte: an ANSI salt popped whole within the limit may still be over it.
void MachineIdCommand(char (&text)[kMachineIdTextSize]) {
  char popped[kLongestSalt + 2] = {};
  const Popped how = PopArgument(popped, sizeof popped, Traced::LengthOnly);
  if (!ReportsStillQueued() || how != Popped::Whole) return;
#ifdef UNICODE
  const std::string_view salt = popped;
#else
  const std::string utf8 = AnsiToUtf8(popped);
  const std::string_view salt = utf8;
#endif
  if (salt.empty()) DebugTrace(__FILE__, __LINE__, "NSMachineId: empty salt\n");
  if (salt.size() > kLongestSalt) return;
  const std::string id = MachineIdFor(salt);
  if (id.size() < sizeof text) std::memcpy(text, id.c_str(), id.size() + 1);
}
