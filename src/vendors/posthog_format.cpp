// PostHog's capture endpoint (/i/v0/e/): one event with the project key in the body,
// the properties named as PostHog's own clients name them. With `sent_at` beside the
// event's `timestamp`, PostHog moves the event by the difference between its own clock and
// the machine's, as its libraries have it do.
#include <json/value.h>

#include <utility>

#include "text/compact_json_writer.h"
#include "vendors/vendor_common.h"
#include "vendors/vendor_mappings.h"

const char* PostHogBrokenRule(const VendorEvent& event) {
  // PostHog accepts an event whose uuid is not a UUID, then drops it while ingesting.
  if (!IsReportId(event.id)) return "posthog: uuid not a UUID";
  return nullptr;
}

std::string PostHogBody(const VendorEvent& event) {
  Json::Value properties = EventProperties(event, kDetailsBytes);
  properties["$lib"] = Json::Value(kLibraryName);
  properties["$lib_version"] = Json::Value(LibraryVersion());
  properties["$os"] = Json::Value(kOsName);
  if (event.added.hasContext) {
    SetIfNotEmpty(properties, "$os_version", event.added.context.osVersion);
    SetIfNotEmpty(properties, "$locale", event.added.context.uiLanguage);
  }
  SetIfNotEmpty(properties, "$app_version", event.appVersion);
  // A run is no person: only a machine's id, set by the script, makes a person profile.
  if (event.added.deviceId.empty()) properties["$process_person_profile"] = Json::Value(false);

  Json::Value body;
  body["api_key"] = Json::Value(event.key);
  body["event"] = Json::Value(event.name);
  body["distinct_id"] = Json::Value(DeviceIdOf(event));
  body["uuid"] = Json::Value(UuidForm(event.id));
  body["timestamp"] = Json::Value(IsoTimeUtc(event.timeMs));
  body["sent_at"] = Json::Value(IsoTimeUtc(event.sentMs));
  body["properties"] = std::move(properties);
  return WriteCompactJson(body);
}

// PostHog takes a distinct_id among the properties for the event's own.
bool PostHogSetsProperty(std::string_view key) { return key == "distinct_id"; }

// PostHog's clients read the status alone: its 2xx body says {"status":1} even for an
// event that its quota then drops.
bool PostHogTookEvent(std::string_view) { return true; }
