// Mixpanel's /track: a JSON array of one event whose properties carry the project token and
// the ids, named as Mixpanel's own libraries name them. `time` is the queueing time, the same on
// every attempt: Mixpanel deduplicates on event, distinct_id, time and $insert_id together.
#include <json/value.h>

#include <utility>

#include <string_view>

#include "text/ascii_case.h"
#include "text/compact_json_writer.h"
#include "text/json_member.h"
#include "text/word_list.h"
#include "vendors/vendor_common.h"
#include "vendors/vendor_mappings.h"

namespace {

// The properties Mixpanel reads as its own (`ip` locates the event); a field of the script's so
// named would be lost or misread.
constexpr std::string_view kOwnProperties = "distinct_id ip mp_lib time token";
// Mixpanel keeps 255 bytes of a string property's value.
constexpr DetailsLimit kMixpanelDetails{255, false};

bool IsInsertId(std::string_view id) {
  if (id.empty() || id.size() > 36) return false;
  for (const char c : id) {
    if (!IsAsciiLetter(c) && !IsAsciiDigit(c) && c != '-') return false;
  }
  return true;
}

}  // namespace

const char* MixpanelBrokenRule(const VendorEvent& event) {
  if (!IsInsertId(event.id)) return "mixpanel: $insert_id not 1 to 36 letters, digits or dashes";
  return nullptr;
}

bool MixpanelSetsProperty(std::string_view key) { return IsListedWord(key, kOwnProperties); }

std::string MixpanelBody(const VendorEvent& event) {
  // Mixpanel has no event property for the language: it stays among the properties.
  Json::Value properties = EventProperties(event, kMixpanelDetails, true);
  properties["token"] = Json::Value(event.key);
  properties["distinct_id"] = Json::Value(DeviceIdOf(event));
  // Mixpanel's simplified identity merge takes a device's id from $device_id.
  SetIfNotEmpty(properties, "$device_id", event.added.deviceId);
  properties["$insert_id"] = Json::Value(event.id);
  properties["time"] = Json::Value(static_cast<Json::UInt64>(event.timeMs));
  properties["mp_lib"] = Json::Value(kLibraryName);
  properties["$lib_version"] = Json::Value(LibraryVersion());
  properties["$os"] = Json::Value(kOsName);
  if (event.added.hasContext) SetIfNotEmpty(properties, "$os_version", event.added.context.osVersion);
  SetIfNotEmpty(properties, "$app_version_string", event.appVersion);

  Json::Value mixpanelEvent;
  mixpanelEvent["event"] = Json::Value(event.name);
  mixpanelEvent["properties"] = std::move(properties);
  Json::Value body(Json::arrayValue);
  body.append(std::move(mixpanelEvent));
  return WriteCompactJson(body);
}

// As Mixpanel's Node library reads it: exactly `1` without ?verbose=1, and with it a JSON
// object whose status is 1. Anything else, unreadable bodies included, is an error there.
bool MixpanelTookEvent(std::string_view answer) {
  if (answer == "1") return true;
  const TopLevelInteger status = ReadTopLevelInteger(answer, "status");
  return status.shape == JsonShape::Object && status.value == 1;
}
