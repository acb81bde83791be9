// GA4's Measurement Protocol (/mp/collect): its keys are in the URL; the body names the
// client, the time and one event with its parameters. Google answers 2xx to everything,
// so the rules it would silently drop a report for are checked before sending.
#include <json/value.h>

#include <string>
#include <string_view>

#include "text/ascii_case.h"
#include "text/compact_json_writer.h"
#include "vendors/vendor_common.h"
#include "vendors/vendor_mappings.h"

namespace {

constexpr std::size_t kMaxNameCharacters = 40;
constexpr std::size_t kMaxParameters = 25;
constexpr std::size_t kMaxValueCharacters = 100;

// Google's reserved names, for web and app streams alike (its lists say they are not
// exhaustive).
constexpr std::string_view kReservedEvents[] = {
    "ad_activeview", "ad_click", "ad_exposure", "ad_impression", "ad_query", "ad_reward",
    "adunit_exposure", "app_background", "app_clear_data", "app_exception", "app_remove",
    "app_store_refund", "app_store_subscription_cancel", "app_store_subscription_convert",
    "app_store_subscription_renew", "app_update", "app_upgrade", "click",
    "dynamic_link_app_open", "dynamic_link_app_update", "dynamic_link_first_open", "error",
    "file_download", "first_open", "first_visit", "form_start", "form_submit",
    "in_app_purchase", "notification_dismiss", "notification_foreground", "notification_open",
    "notification_receive", "os_update", "page_view", "scroll", "session_start",
    "session_start_with_rollout", "user_engagement", "video_progress", "video_start",
    "view_complete", "view_search_results"};
// session_id and engagement_time_msec are not among them: Google asks for both, for an event
// to show in Realtime.
constexpr std::string_view kReservedParameters[] = {"firebase_conversion", "gclid", "session_number"};
// Names starting with '_' already break the first-letter rule.
constexpr std::string_view kReservedPrefixes[] = {"firebase_", "ga_", "google_"};

bool IsListed(std::string_view name, const std::string_view* begin, const std::string_view* end) {
  for (const std::string_view* entry = begin; entry != end; ++entry) {
    if (name == *entry) return true;
  }
  return false;
}

bool HasReservedPrefix(std::string_view name) {
  for (const std::string_view prefix : kReservedPrefixes) {
    if (name.substr(0, prefix.size()) == prefix) return true;
  }
  return false;
}

bool IsGa4Name(std::string_view name) {
  if (name.empty() || !IsAsciiLetter(name[0])) return false;
  for (const char c : name) {
    if (!IsAsciiLetter(c) && !IsAsciiDigit(c) && c != '_') return false;
  }
  return true;
}

// The event's parameters, as sent.
Json::Value Ga4Parameters(const VendorEvent& event) {
  Json::Value parameters = EventProperties(event);
  SetIfNotEmpty(parameters, "app_version", event.appVersion);
  return parameters;
}

}  // namespace

const char* Ga4BrokenRule(const VendorEvent& event) {
  if (!IsGa4Name(event.name)) return "ga4: event name not letters, digits and underscores from a letter";
  if (event.name.size() > kMaxNameCharacters) return "ga4: event name over 40 characters";
  if (IsListed(event.name, std::begin(kReservedEvents), std::end(kReservedEvents))) {
    return "ga4: reserved event name";
  }
  if (HasReservedPrefix(event.name)) return "ga4: reserved event name prefix";

  const Json::Value parameters = Ga4Parameters(event);
  if (parameters.size() > kMaxParameters) return "ga4: over 25 parameters";
  for (const std::string& name : parameters.getMemberNames()) {
    if (!IsGa4Name(name)) return "ga4: parameter name not letters, digits and underscores from a letter";
    if (name.size() > kMaxNameCharacters) return "ga4: parameter name over 40 characters";
    if (IsListed(name, std::begin(kReservedParameters), std::end(kReservedParameters))) {
      return "ga4: reserved parameter name";
    }
    if (HasReservedPrefix(name)) return "ga4: reserved parameter name prefix";
    const Json::Value& value = parameters[name];
    if (value.isString() && CharacterCount(value.asString()) > kMaxValueCharacters) {
      return "ga4: parameter value over 100 characters";
    }
  }
  return nullptr;
}

std::string Ga4Body(const VendorEvent& event) {
  Json::Value ga4Event;
  ga4Event["name"] = Json::Value(event.name);
  ga4Event["params"] = Ga4Parameters(event);

  Json::Value body;
  body["client_id"] = Json::Value(DeviceIdOf(event));
  body["timestamp_micros"] = Json::Value(Json::UInt64(event.timeMs) * 1000);
  body["device"]["operating_system"] = Json::Value(kOsName);
  if (event.added.hasContext) {
    SetIfNotEmpty(body["device"], "operating_system_version", event.added.context.osVersion);
    SetIfNotEmpty(body["device"], "language", event.added.context.uiLanguage);
  }
  body["events"].append(ga4Event);
  return WriteCompactJson(body);
}

// The body's own client id stands beside the parameters: one named so would only mislead.
bool Ga4SetsProperty(std::string_view key) { return key == "client_id"; }

// Google answers 2xx whatever becomes of the event: its status is all there is to read.
bool Ga4TookEvent(std::string_view) { return true; }
