#include "plugin/identity_commands.h"

#include <cstring>
#include <string>

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

void MachineIdCommand(char (&text)[kMachineIdTextSize]) {
  char salt[kLongestSalt + 2] = {};
  const Popped popped = PopArgument(salt, sizeof salt, Traced::LengthOnly);
  if (!ReportsStillQueued() || popped != Popped::Whole) return;
  const std::string id = MachineIdFor(salt);
  if (id.size() < sizeof text) std::memcpy(text, id.c_str(), id.size() + 1);
}
