// Amplitude's HTTP V2 API (/2/httpapi): one event in `events`, the key as api_key, the
// device fields at the event's top level as Amplitude's own clients send them. No `time`:
// Amplitude then takes the time of the upload, so a machine's wrong clock misdates nothing;
// insert_id alone deduplicates.
#include <json/value.h>

#include <utility>

#include <string>

#include "text/compact_json_writer.h"
#include "text/json_member.h"
#include "vendors/vendor_common.h"
#include "vendors/vendor_mappings.h"

// Amplitude's own clients cut a string property value to 1024 characters.
constexpr DetailsLimit kAmplitudeDetails{1024, true};

// The run id is always long enough for device_id (5 characters at least), and a shorter
// one gets a 400 that says so: nothing is dropped unseen.
const char* AmplitudeBrokenRule(const VendorEvent&) { return nullptr; }

std::string AmplitudeBody(const VendorEvent& event) {
  Json::Value amplitudeEvent;
  amplitudeEvent["event_type"] = Json::Value(event.name);
  amplitudeEvent["device_id"] = Json::Value(DeviceIdOf(event));
  amplitudeEvent["insert_id"] = Json::Value(event.id);
  amplitudeEvent["platform"] = Json::Value(kOsName);
  amplitudeEvent["os_name"] = Json::Value(kOsName);
  if (event.added.hasContext) {
    SetIfNotEmpty(amplitudeEvent, "os_version", event.added.context.osVersion);
    SetIfNotEmpty(amplitudeEvent, "language", event.added.context.uiLanguage);
  }
  SetIfNotEmpty(amplitudeEvent, "app_version", event.appVersion);
  amplitudeEvent["library"] = Json::Value(std::string(kLibraryName) + '/' + LibraryVersion());
  amplitudeEvent["event_properties"] = EventProperties(event, kAmplitudeDetails);

  Json::Value body;
  body["api_key"] = Json::Value(event.key);
  body["events"].append(std::move(amplitudeEvent));
  return WriteCompactJson(body);
}

// As Amplitude's own transport reads it: the JSON `code` decides, any 2xx being success.
// A body that is not JSON at all counts as its HTTP status (the fetch transport falls
// back to it), so a 2xx is taken; JSON that is not an object is an unexpected answer.
bool AmplitudeTookEvent(std::string_view answer) {
  const TopLevelInteger code = ReadTopLevelInteger(answer, "code");
  switch (code.shape) {
    case JsonShape::Invalid: return true;
    case JsonShape::Other: return false;
    case JsonShape::Object: break;
  }
  return code.value && *code.value >= 200 && *code.value <= 299;
}
