// GA4's Measurement Protocol (/mp/collect): its keys are in the URL; the body names the
// client and one event with its parameters, and no time: GA4 then takes the time of receipt,
// so a machine's wrong clock drops nothing. Google answers 2xx to everything, so the rules it
// would silently drop a report for are checked before sending.
#include <json/value.h>

#include <utility>

#include <string>
#include <string_view>

#include "text/compact_json_writer.h"
#include "text/letters.h"
#include "text/url_query.h"
#include "text/word_list.h"
#include "vendors/vendor_common.h"
#include "vendors/vendor_mappings.h"

namespace {

constexpr std::size_t kMaxNameCharacters = 40;
constexpr std::size_t kMaxParameters = 25;
constexpr std::size_t kMaxValueCharacters = 100;

// Google's reserved names, for web and app streams alike (its lists say they are not
// exhaustive).
constexpr std::string_view kReservedEvents =
    "ad_activeview ad_click ad_exposure ad_impression ad_query ad_reward adunit_exposure app_background "
    "app_clear_data app_exception app_remove app_store_refund app_store_subscription_cancel "
    "app_store_subscription_convert app_store_subscription_renew app_update app_upgrade click "
    "dynamic_link_app_open dynamic_link_app_update dynamic_link_first_open error file_download first_open "
    "first_visit form_start form_submit in_app_purchase notification_dismiss notification_foreground "
    "notification_open notification_receive os_update page_view scroll session_start "
    "session_start_with_rollout user_engagement video_progress video_start view_complete view_search_results";
// session_id and engagement_time_msec are not among them: Google asks for both, for an event
// to show in Realtime.
constexpr std::string_view kReservedParameters = "firebase_conversion gclid session_number";
// Names starting with '_' already break the first-letter rule; each of these prefixes ends at a
// name's first '_'.
constexpr std::string_view kReservedPrefixes = "firebase_ ga_ google_";

bool HasReservedPrefix(std::string_view name) {
  return IsListedWord(name.substr(0, name.find('_') + 1), kReservedPrefixes);
}

// Google's naming rule: a letter of any language first, then letters, digits and underscores.
bool IsGa4Name(std::string_view name) {
  for (std::size_t at = 0; at < name.size();) {
    const bool first = at == 0;
    const char32_t c = NextCharacter(name, at);
    if (!IsLetter(c) && (first || (c != '_' && (c < '0' || c > '9')))) return false;
  }
  return !name.empty();
}

// The event's parameters, as sent.
Json::Value Ga4Parameters(const VendorEvent& event) {
  Json::Value parameters = EventProperties(event, {kMaxValueCharacters, true});
  SetIfNotEmpty(parameters, "app_version", event.appVersion);
  return parameters;
}

}  // namespace

const char* Ga4BrokenRule(const VendorEvent& event) {
  if (!QueryHasValue(event.url, "measurement_id") || !QueryHasValue(event.url, "api_secret")) {
    return "ga4: URL without measurement_id and api_secret in its query";
  }
  if (!IsGa4Name(event.name)) return "ga4: event name not letters, digits and underscores from a letter";
  if (CharacterCount(event.name) > kMaxNameCharacters) return "ga4: event name over 40 characters";
  if (IsListedWord(event.name, kReservedEvents)) return "ga4: reserved event name";
  if (HasReservedPrefix(event.name)) return "ga4: reserved event name prefix";

  const Json::Value parameters = Ga4Parameters(event);
  if (parameters.size() > kMaxParameters) return "ga4: over 25 parameters";
  for (auto parameter = parameters.begin(); parameter != parameters.end(); ++parameter) {
    const char* end = nullptr;
    const char* begin = parameter.memberName(&end);
    const std::string_view name(begin, static_cast<std::size_t>(end - begin));
    if (!IsGa4Name(name)) return "ga4: parameter name not letters, digits and underscores from a letter";
    if (CharacterCount(name) > kMaxNameCharacters) return "ga4: parameter name over 40 characters";
    if (IsListedWord(name, kReservedParameters)) return "ga4: reserved parameter name";
    if (HasReservedPrefix(name)) return "ga4: reserved parameter name prefix";
    const Json::Value& value = *parameter;
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
  body["device"]["operating_system"] = Json::Value(kOsName);
  if (event.added.hasContext) {
    SetIfNotEmpty(body["device"], "operating_system_version", event.added.context.osVersion);
    SetIfNotEmpty(body["device"], "language", event.added.context.uiLanguage);
  }
  body["events"].append(std::move(ga4Event));
  return WriteCompactJson(body);
}

// The body's own client id stands beside the parameters: one named so would only mislead.
bool Ga4SetsProperty(std::string_view key) { return key == "client_id"; }

// Google answers 2xx whatever becomes of the event: its status is all there is to read.
bool Ga4TookEvent(std::string_view) { return true; }
