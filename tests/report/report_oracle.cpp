#include "report_oracle.h"

#include <json/reader.h>
#include <json/value.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

namespace {

bool IsUpperHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

int HexValue(char c) { return c <= '9' ? c - '0' : c - 'A' + 10; }

// Escapes may only stand for what the writer has to escape, written one way only.
std::string CheckEscapes(const std::string& body) {
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (static_cast<unsigned char>(body[i]) < 0x20) return "control byte at " + std::to_string(i);
  }
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (body[i] != '\\') continue;
    if (i + 1 == body.size()) return "escape at the end";
    const char kind = body[++i];
    if (std::strchr("\"\\bfnrt", kind)) continue;
    if (kind != 'u') return "unexpected escape \\" + std::string(1, kind);
    if (i + 4 >= body.size() || body.compare(i + 1, 2, "00") != 0 || !IsUpperHex(body[i + 3]) ||
        !IsUpperHex(body[i + 4])) {
      return "\\u escape not of the form \\u00XX at " + std::to_string(i);
    }
    const int byte = HexValue(body[i + 3]) * 16 + HexValue(body[i + 4]);
    if (byte == 0 || byte >= 0x20 || std::strchr("\b\f\n\r\t", byte)) {
      return "unexpected \\u escape at " + std::to_string(i);
    }
    i += 4;
  }
  return {};
}

// A quote inside a value is always escaped, so `{"key":` and `,"key":` occur only
// where members start.
std::string CheckMemberOrder(const std::string& body, const std::vector<std::string>& keysInOrder) {
  std::size_t previous = 0;
  bool first = true;
  for (const std::string& key : keysInOrder) {
    const std::string marker = (first ? "{\"" : ",\"") + std::string(key) + "\":";
    const std::size_t at = body.find(marker);
    if (at == std::string::npos || (first ? at != 0 : at <= previous)) {
      return std::string("member out of place: ") + key;
    }
    previous = at;
    first = false;
  }
  return {};
}

}  // namespace

std::vector<std::string> ReferenceFields(const std::string& text) {
  std::vector<std::string> fields;
  std::string current;
  for (char c : text) {
    if (c != '&') {
      current += c;
    } else if (!current.empty()) {
      fields.push_back(std::move(current));
      current.clear();
    }
  }
  if (!current.empty()) fields.push_back(std::move(current));
  return fields;
}

std::string CheckReportBody(const std::string& body, const ReportValues& values) {
  if (body.empty() || body.back() != '}') return "body does not end with }";
  if (std::string problem = CheckEscapes(body); !problem.empty()) return problem;

  Json::CharReaderBuilder builder;
  Json::CharReaderBuilder::strictMode(&builder.settings_);
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value document;
  std::string errors;
  if (!reader->parse(body.data(), body.data() + body.size(), &document, &errors)) {
    return "jsoncpp rejects the body: " + errors;
  }

  const std::pair<const char*, std::string> expected[] = {
      {"app_version", values.appVersion},
      {"channel", values.channel},
      {"env", values.environment},
      {"event", values.eventName},
      {"event_type", "app"},
      {"id", values.eventId},
      {"os_platform", "windows"},
      {"package_name", "com.lumeworks.pc"},
      {"package_name_en", "com.quillfern.editor.new"},
      {"string_1", "installer_type"}};
  std::map<std::string, std::string> strings(std::begin(expected), std::end(expected));
  strings.insert(values.fields.begin(), values.fields.end());
  if (const auto& c = values.context) {
    strings.insert({{"session_id", c->sessionId}, {"os_version", c->osVersion}, {"os_arch", c->osArch},
                    {"process_arch", c->processArch}, {"ui_language", c->uiLanguage},
                    {"installer_language", c->installerLanguage}});
  }
  if (!values.details.empty()) strings.insert({"details", values.details});
  // How the installer ran: booleans and a number.
  const auto& c = values.context;
  const std::pair<const char*, Json::Value> ran[] = {
      {"silent", c && c->silent}, {"all_users", c && c->allUsers}, {"error_flag", c && c->errorFlag},
      {"reboot", c && c->reboot}, {"elevated", c && c->elevated}, {"error_level", c ? c->errorLevel : 0}};
  std::vector<std::string> keys = {"user_id"};
  for (const auto& member : strings) keys.push_back(member.first);
  if (c) {
    keys.push_back("elapsed_ms");
    for (const auto& [key, value] : ran) keys.push_back(key);
  }
  std::sort(keys.begin(), keys.end());
  if (std::string problem = CheckMemberOrder(body, keys); !problem.empty()) return problem;
  if (!document.isObject() || document.size() != keys.size()) return "not an object of the expected members";
  for (const auto& [key, value] : strings) {
    const Json::Value& member = static_cast<const Json::Value&>(document)[key];
    if (!member.isString() || member.asString() != value) {
      return std::string("member ") + key + " does not read back as it went in";
    }
  }
  const Json::Value& userId = static_cast<const Json::Value&>(document)["user_id"];
  const Json::Value& elapsed = static_cast<const Json::Value&>(document)["elapsed_ms"];
  const std::string userIdText = keys.back() == "user_id" ? "\"user_id\":0}" : "\"user_id\":0,";
  if (!userId.isInt() || userId.asInt() != 0 || body.find(userIdText) == std::string::npos) return "user_id is not 0";
  if (values.context && (!elapsed.isUInt() || elapsed.asUInt() != values.context->elapsedMs)) return "elapsed_ms differs";
  for (const auto& [key, value] : ran) {
    if (c && static_cast<const Json::Value&>(document)[key] != value) return std::string(key) + " differs";
  }
  return {};
}
