#pragma once

#include <string_view>

// Whether a script's device id can stand for one machine in every vendor: 5 to 64 bytes (Amplitude
// drops shorter ids) of letters, digits, '-', '_', '{' and '}', and none of the placeholders that
// PostHog or Amplitude refuse ("anonymous", "undefined", an all-zero GUID…), in any letter case.
bool IsDeviceId(std::string_view id);
