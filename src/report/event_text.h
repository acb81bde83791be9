#pragma once

#include <string>
#include <vector>

// An event text reads "name&channel&version": fields are maximal runs of bytes other
// than '&', so runs of '&' separate like one and no field is ever empty.

// Appends each field of `text` to `fields` in order and returns `fields`. Consumes the
// text the way strtok_s does: the '&' that ends a field is overwritten with NUL.
std::vector<std::string>& SplitEventText(char* text, std::vector<std::string>& fields);

// The three values a report takes from its event text.
struct EventFields {
  std::string eventName = "installer";
  std::string channel = "marlow";
  std::string appVersion = "0.0.0";
};

// Splits `eventText` (consuming it) and takes the first three fields, byte for byte;
// further fields are ignored. A text of fewer than three fields leaves all three
// defaults in place.
EventFields ParseEventText(char* eventText);

// "test" when the NUL-terminated `url` contains "dev" (case-sensitive), else "prd".
const char* EnvironmentForUrl(const char* url);
