#include "report/event_text.h"

#include <cstring>

namespace {

constexpr char kSeparator = '&';

// strtok_s with the delimiter set "&", written out because the C library's re-entrant
// tokenisers differ between platforms. `context` points where the next step starts.
char* NextField(char* start, char** context) {
  char* field = start ? start : *context;
  while (*field == kSeparator) ++field;
  if (*field == '\0') {
    *context = field;
    return nullptr;
  }
  char* end = field;
  while (*end != '\0' && *end != kSeparator) ++end;
  if (*end == kSeparator) *end++ = '\0';
  *context = end;
  return field;
}

}  // namespace

std::vector<std::string>& SplitEventText(char* text, std::vector<std::string>& fields) {
  char* context = nullptr;
  for (char* field = NextField(text, &context); field; field = NextField(nullptr, &context)) {
    fields.emplace_back(field);
  }
  return fields;
}

EventFields ParseEventText(char* eventText) {
  EventFields result;
  std::vector<std::string> fields;
  SplitEventText(eventText, fields);
  if (fields.size() > 2) {
    result.eventName = fields[0];
    result.channel = fields[1];
    result.appVersion = fields[2];
  }
  return result;
}

const char* EnvironmentForUrl(const char* url) {
  return std::strstr(url, "dev") ? "test" : "prd";
}
