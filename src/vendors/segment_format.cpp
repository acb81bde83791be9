// Segment's /v1/batch with the write key in the body; RudderStack's beacon endpoint
// takes the same body (it reads `batch` alone, its key being in the URL). Device facts
// go in the message's context, as Segment's libraries put them.
#include <json/value.h>

#include <utility>

#include "text/compact_json_writer.h"
#include "vendors/vendor_common.h"
#include "vendors/vendor_mappings.h"

// Segment's one limit a report could break, 32 KB a message, is answered with a 400; no
// report comes near it anyway.
const char* SegmentBrokenRule(const VendorEvent&) { return nullptr; }

std::string SegmentBody(const VendorEvent& event) {
  Json::Value context;
  context["library"]["name"] = Json::Value(kLibraryName);
  context["library"]["version"] = Json::Value(LibraryVersion());
  context["os"]["name"] = Json::Value(kOsName);
  if (event.added.hasContext) {
    SetIfNotEmpty(context["os"], "version", event.added.context.osVersion);
    SetIfNotEmpty(context, "locale", event.added.context.uiLanguage);
  }
  if (!event.appVersion.empty()) context["app"]["version"] = Json::Value(event.appVersion);

  // With sentAt beside the event's timestamp, Segment moves the event by the difference
  // between its own clock and the machine's.
  Json::Value message;
  message["type"] = Json::Value("track");
  message["event"] = Json::Value(event.name);
  message["anonymousId"] = Json::Value(DeviceIdOf(event));
  message["messageId"] = Json::Value(event.id);
  message["timestamp"] = Json::Value(IsoTimeUtc(event.timeMs));
  message["sentAt"] = Json::Value(IsoTimeUtc(event.sentMs));
  message["properties"] = EventProperties(event, kDetailsBytes);
  message["context"] = std::move(context);

  Json::Value body;
  body["writeKey"] = Json::Value(event.key);
  body["batch"].append(std::move(message));
  return WriteCompactJson(body);
}

// Segment's and RudderStack's clients read the status alone; Segment's 200 proves little.
bool SegmentTookEvent(std::string_view) { return true; }
