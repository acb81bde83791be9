#pragma once

#include <string>
#include <string_view>

// A stable anonymous id for this machine and one product: the first 16 bytes of SHA-256 over
// `salt` and the machine's MachineGuid, as 32 lower-case hexadecimal digits. The same in 32-
// and 64-bit processes (the GUID is read in the 64-bit registry view) and after a reinstall;
// another salt gives another id, and the GUID cannot be read back from it. Empty when the salt
// is empty or the machine has no readable MachineGuid. Nothing is stored.
std::string MachineIdFor(std::string_view salt);
