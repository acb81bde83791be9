#include "report/payload.h"

#include <json/value.h>

#include "text/compact_json_writer.h"

std::string BuildReportPayload(const std::string& eventName, const std::string& eventId,
                               const std::string& appVersion, const std::string& channel,
                               const std::string& environment, const AddedMembers& added) {
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
  // SetReportField keeps the fields' keys apart from these members and each other.
  for (const auto& [key, value] : added.fields) document[key] = Json::Value(value);
  if (!added.deviceId.empty()) document["device_id"] = Json::Value(added.deviceId);
  if (!added.details.empty()) document["details"] = Json::Value(added.details);
  if (added.hasContext) {
    const ReportContext& context = added.context;
    document["session_id"] = Json::Value(context.sessionId);
    document["elapsed_ms"] = Json::Value(Json::UInt(context.elapsedMs));
    document["os_version"] = Json::Value(context.osVersion);
    document["os_arch"] = Json::Value(context.osArch);
    document["process_arch"] = Json::Value(context.processArch);
    document["ui_language"] = Json::Value(context.uiLanguage);
    document["installer_language"] = Json::Value(context.installerLanguage);
    SetRunFlags(document, context);
  }
  return WriteCompactJson(document);
}
