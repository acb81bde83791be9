#include "report/payload.h"

#include <json/value.h>

#include "report/compact_json_writer.h"

std::string BuildReportPayload(const std::string& eventName, const std::string& eventId,
                               const std::string& appVersion, const std::string& channel,
                               const std::string& environment) {
  Json::Value document;
  document["event"] = Json::Value(eventName);
  document["id"] = Json::Value(eventId);
  document["app_version"] = Json::Value(appVersion);
  document["channel"] = Json::Value(channel);
  document["env"] = Json::Value(environment);
  document["event_type"] = Json::Value("app");
  document["string_1"] = Json::Value("installer_type");
  document["os_platform"] = Json::Value("windows");
  document["package_name"] = Json::Value("com.lumeworks.pc");
  document["package_name_en"] = Json::Value("com.quillfern.editor.new");
  document["user_id"] = Json::Value(0);
  return WriteCompactJson(document);
}
