#include "report/payload.h"

#include <gtest/gtest.h>
#include <json/reader.h>
#include <json/value.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "text/compact_json_writer.h"
#include "report/detail_scrub.h"
#include "report/event_text.h"

namespace {

constexpr char kExampleId[] = "3F2504E04F8941d39A0C0305E82C3301";

std::string BodyFor(std::string eventText, const char* url) {
  const EventFields fields = ParseEventText(eventText.data());
  return BuildReportPayload(fields.eventName, kExampleId, fields.appVersion, fields.channel,
                            EnvironmentForUrl(url));
}

std::string Quoted(const std::string& bytes) { return WriteCompactJson(Json::Value(bytes)); }

std::string Repeated(const std::string& text, int times) {
  std::string out;
  while (times-- > 0) out += text;
  return out;
}

TEST(BuildReportPayload, WritesTheDocumentedExamplesByteForByte) {
  const std::string first = BodyFor("install_start&beta&1.2.3", "https://collect.example.test/report");
  EXPECT_EQ(first,
            "{\"app_version\":\"1.2.3\",\"channel\":\"beta\",\"env\":\"prd\",\"event\":\"install_start\","
            "\"event_type\":\"app\",\"id\":\"3F2504E04F8941d39A0C0305E82C3301\",\"os_platform\":"
            "\"windows\",\"package_name\":\"com.lumeworks.pc\",\"package_name_en\":"
            "\"com.quillfern.editor.new\",\"string_1\":\"installer_type\",\"user_id\":0}");
  EXPECT_EQ(first.size(), 278u);

  EXPECT_EQ(BodyFor("install_start&beta", "http://127.0.0.1:8080/dev/report"),
            "{\"app_version\":\"0.0.0\",\"channel\":\"marlow\",\"env\":\"test\",\"event\":\"installer\","
            "\"event_type\":\"app\",\"id\":\"3F2504E04F8941d39A0C0305E82C3301\",\"os_platform\":"
            "\"windows\",\"package_name\":\"com.lumeworks.pc\",\"package_name_en\":"
            "\"com.quillfern.editor.new\",\"string_1\":\"installer_type\",\"user_id\":0}");
}

// Refused settings change nothing; what is set stands among the members in key order.
TEST(BuildReportPayload, AddsTheFieldsAndTheContextAskedFor) {
  AddedMembers added;
  const struct { std::string key, value; bool set; } rows[] = {
      {"step", "files", 1}, {"step", "registry", 1}, {"a_1", "x\"\xE9", 1}, {"gone", "1", 1}, {"gone", "", 1},
      {"never_set", "", 1}, {std::string(64, 'k'), std::string(256, 'v'), 1}, {"", "v", 0}, {"Step", "v", 0},
      {"1st", "v", 0}, {"_x", "v", 0}, {"st-ep", "v", 0}, {"st\xE9p", "v", 0}, {std::string(65, 'k'), "v", 0},
      {"step", std::string(257, 'v'), 0}, {"step", Repeated("\xC3\xA9", 129), 0}, {"event", "v", 0},
      {"user_id", "v", 0}, {"session_id", "", 0}};
  for (const auto& row : rows) EXPECT_EQ(SetReportField(added, row.key, row.value), row.set) << row.key;
  // No field may shadow a member of the document, of its context, the device id or the details.
  const std::string withContext = BuildReportPayload("e", "i", "v", "c", "prd", {true, {}, {}, "{pc-4711}", "d"});
  Json::Value members;
  ASSERT_TRUE(std::unique_ptr<Json::CharReader>(Json::CharReaderBuilder().newCharReader())
                  ->parse(withContext.data(), withContext.data() + withContext.size(), &members, nullptr));
  for (const auto& key : members.getMemberNames()) EXPECT_FALSE(SetReportField(added, key, "v")) << key;
  EXPECT_EQ(members.size(), 26u);
  for (int i = 3; i < 16; ++i) EXPECT_TRUE(SetReportField(added, "f" + std::to_string(i), "v"));
  EXPECT_FALSE(SetReportField(added, "f16", "v"));  // a 17th; replacing and removing are not
  EXPECT_TRUE(SetReportField(added, "f3", "again") && SetReportField(added, "f4", "") && SetReportField(added, "f16", "v"));
  added.fields.resize(2);
  added.hasContext = true;
  added.context = {"S", 4000000000u, "10.0.22631", MachineArchName(0x8664), MachineArchName(0x14C), "de-DE", "fr-FR",
                   true, false, true, false, true, -5};
  added.deviceId = "{pc-4711}";
  added.details = "Output folder: %USERPROFILE%\\x\n\"done\"";
  EXPECT_EQ(BuildReportPayload("e", "i", "v", "c", "prd", added),
            "{\"a_1\":\"x\\\"\xE9\",\"all_users\":false,\"app_version\":\"v\",\"channel\":\"c\","
            "\"details\":\"Output folder: %USERPROFILE%\\\\x\\n\\\"done\\\"\",\"device_id\":\"{pc-4711}\","
            "\"elapsed_ms\":4000000000,\"elevated\":true,\"env\":\"prd\",\"error_flag\":true,\"error_level\":-5,"
            "\"event\":\"e\",\"event_type\":\"app\",\"id\":\"i\",\"installer_language\":\"fr-FR\","
            "\"os_arch\":\"x64\",\"os_platform\":\"windows\",\"os_version\":\"10.0.22631\",\"package_name\":\"com.lumeworks.pc\","
            "\"package_name_en\":\"com.quillfern.editor.new\",\"process_arch\":\"x86\",\"reboot\":false,\"session_id\":\"S\","
            "\"silent\":true,\"step\":\"registry\",\"string_1\":\"installer_type\",\"ui_language\":\"de-DE\",\"user_id\":0}");
  EXPECT_EQ(std::string(MachineArchName(0xAA64)) + MachineArchName(0x01C4), "arm64");
}

TEST(AppendScrubbed, HidesTheProfileAndTheNamesAsWholeWordsInAnyLetterCase) {
  const ScrubNames alice{"C:\\Users\\alice", "alice", "ALICE-PC"};
  const struct { ScrubNames names; const char* line; const char* scrubbed; } rows[] = {
      {alice, "Output folder: C:\\Users\\alice\\AppData\\Local\\Editor", "Output folder: %USERPROFILE%\\AppData\\Local\\Editor"},
      {alice, "c:\\USERS\\Alice\\x alice ALICE alice-pc Alice-PC.", "%USERPROFILE%\\x %USERNAME% %USERNAME% %COMPUTERNAME% %COMPUTERNAME%."},
      {alice, "malice alice2 _alice C:\\Users\\alice2 \\\\alice-pc2\\s", "malice alice2 _alice C:\\Users\\alice2 \\\\%USERNAME%-pc2\\s"},
      {alice, "alice\xE9 \xC3\xA9" "alice (alice)", "%USERNAME%\xE9 \xC3\xA9%USERNAME% (%USERNAME%)"},
      {{}, "a b", "a b"},                                                        // no name Windows gave
      {{"", "pc-admin", "pc"}, "pc pc-admin", "%COMPUTERNAME% %USERNAME%"},  // the longer name first
  };
  for (const auto& row : rows) {
    std::string out = "kept:";
    AppendScrubbed(out, row.line, row.names);
    EXPECT_EQ(out, std::string("kept:") + row.scrubbed) << row.line;
  }
}

TEST(BuildReportPayload, EmptyValuesAreEmptyStrings) {
  EXPECT_EQ(BuildReportPayload("", "", "", "", ""),
            "{\"app_version\":\"\",\"channel\":\"\",\"env\":\"\",\"event\":\"\",\"event_type\":\"app\","
            "\"id\":\"\",\"os_platform\":\"windows\",\"package_name\":\"com.lumeworks.pc\","
            "\"package_name_en\":\"com.quillfern.editor.new\",\"string_1\":\"installer_type\","
            "\"user_id\":0}");
}

TEST(BuildReportPayload, AnsiByteBeforeQuoteAndBackslashStaysIntact) {
  // A UTF-8 decoding writer would read E9 22 5C as one character and lose both.
  const std::string body = BuildReportPayload("\xE9\"\\", "i", "v", "c", "prd");
  EXPECT_NE(body.find("\"event\":\"\xE9\\\"\\\\\",\"event_type\""), std::string::npos) << body;
}

TEST(WriteCompactJson, EscapesExactlyTheQuoteBackslashAndControlBytes) {
  const struct {
    char byte;
    const char* written;
  } named[] = {{'"', "\\\""}, {'\\', "\\\\"}, {'\b', "\\b"}, {'\f', "\\f"}, {'\n', "\\n"},
               {'\r', "\\r"}, {'\t', "\\t"},  {'/', "/"},    {'\x1B', "\\u001B"},
               {'\x01', "\\u0001"}, {'\x1F', "\\u001F"}};
  for (const auto& row : named) {
    EXPECT_EQ(Quoted(std::string(1, row.byte)), '"' + std::string(row.written) + '"')
        << static_cast<int>(row.byte);
  }
  for (int byte = 0x01; byte < 0x20; ++byte) {
    if (std::string("\b\f\n\r\t").find(static_cast<char>(byte)) != std::string::npos) continue;
    char expected[16];
    std::snprintf(expected, sizeof expected, "\"\\u00%02X\"", static_cast<unsigned>(byte));
    EXPECT_EQ(Quoted(std::string(1, static_cast<char>(byte))), expected) << byte;
  }
  for (int byte = 0x20; byte <= 0xFF; ++byte) {
    if (byte == '"' || byte == '\\') continue;
    const std::string text(1, static_cast<char>(byte));
    EXPECT_EQ(Quoted(text), '"' + text + '"') << byte;
  }
}

TEST(WriteCompactJson, OrdersKeysByUnsignedBytesWhateverTheInsertionOrder) {
  const std::vector<std::string> sorted = {"Z",     "env",          "event",           "event_type",
                                           "id",    "package_name", "package_name_en", "z",
                                           "\x7F",  "\xE9"};
  const std::string expected =
      "{\"Z\":0,\"env\":0,\"event\":0,\"event_type\":0,\"id\":0,\"package_name\":0,"
      "\"package_name_en\":0,\"z\":0,\"\x7F\":0,\"\xE9\":0}";
  for (const std::vector<int>& order : {std::vector<int>{9, 8, 7, 6, 5, 4, 3, 2, 1, 0},
                                        std::vector<int>{3, 0, 6, 9, 1, 5, 8, 2, 4, 7}}) {
    Json::Value object;
    for (int i : order) object[sorted[i].c_str()] = Json::Value(0);
    EXPECT_EQ(WriteCompactJson(object), expected);
  }
}

TEST(WriteCompactJson, WritesOtherKindsCompactly) {
  Json::Value object;
  object["list"].append(Json::Value(-5));
  object["list"].append(Json::Value(Json::UInt(4000000000u)));
  object["list"].append(Json::Value(true));
  object["list"].append(Json::Value());
  object["list"].append(Json::Value(1.5));
  object["nested"]["k"] = Json::Value("v/w");
  object["empty"] = Json::Value(Json::objectValue);
  EXPECT_EQ(WriteCompactJson(object),
            "{\"empty\":{},\"list\":[-5,4000000000,true,null,1.5],\"nested\":{\"k\":\"v/w\"}}");
  EXPECT_EQ(WriteCompactJson(Json::Value(0)), "0");
}

}  // namespace
