#include <gtest/gtest.h>
#include <json/reader.h>
#include <json/value.h>

#include <algorithm>
#include <clocale>
#include <memory>
#include <string>
#include <vector>

#include "text/compact_json_writer.h"
#include "text/json_member.h"
#include "vendors/report_format.h"
#include "vendors/vendor_body.h"
#include "vendors/vendor_common.h"
#include "vendors/vendor_hosts.h"

namespace {

using F = ReportFormat;
constexpr F kVendors[] = {F::PostHog, F::Amplitude, F::Mixpanel, F::Segment, F::Ga4};

// Details lines `first` to `end` - 1, each 2 digits and 49 e-acutes: 100 bytes, 51 characters.
std::string DetailLines(int first, int end) {
  std::string lines;
  for (int i = first; i < end; ++i) {
    lines += (i == first ? "" : "\n") + std::to_string(i / 10) + std::to_string(i % 10);
    for (int k = 0; k < 49; ++k) lines += "\xC3\xA9";
  }
  return lines;
}

VendorEvent Sample() {
  VendorEvent e{"install_start", "beta", "1.2.3", "prd", "3F2504E04F8941d39A0C0305E82C3301",
                1764581400123, "0123456789ABCDEF0123456789abcdef", "KEY", {}, 1764581460456,
                "https://www.google-analytics.com/mp/collect?measurement_id=G-1&api_secret=s#f"};
  e.added.fields = {{"product", "Quill\xC3\xA9"}};
  e.added.hasContext = true;
  e.added.context = {e.runId, 4200, "10.0.22631", "x64", "x86", "de-DE", "fr-FR", true, false, false, true, false, 5};
  e.added.details = DetailLines(0, 50);
  return e;
}

// The value at a path of member names and array indexes ("events/0/name"), written
// compactly; "-" when it is absent.
std::string At(const std::string& body, const std::string& path) {
  Json::Value root;
  std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
  if (!reader->parse(body.data(), body.data() + body.size(), &root, nullptr)) return "unparsed";
  const Json::Value* at = &root;
  for (std::size_t begin = 0; begin < path.size() && at;) {
    const std::size_t end = std::min(path.find('/', begin), path.size());
    const std::string step = path.substr(begin, end - begin);
    if (at->isArray()) at = &(*at)[std::stoi(step)];
    else at = at->isObject() ? at->find(step.data(), step.data() + step.size()) : nullptr;
    begin = end + 1;
  }
  if (!at || at->isNull()) return "-";
  if (at->isObject()) {  // the member names, for objects
    std::string names;
    for (const auto& name : at->getMemberNames()) names += name + ' ';
    return names;
  }
  return WriteCompactJson(*at);
}

TEST(VendorBody, PutsEachMemberWhereTheVendorsOwnClientPutsIt) {
  const VendorEvent full = Sample();
  VendorEvent bare = full;  // "install_start" alone, no context, no field
  bare.channel = bare.appVersion = "";
  bare.added = {};
  VendorEvent device = full;  // counted by the machine's id
  device.added.deviceId = "{pc-4711}";
  const VendorEvent* events[] = {&bare, &full, &device};
  const struct { F format; int event; const char* path; const char* value; } rows[] = {
      {F::PostHog, 1, "", "api_key distinct_id event properties sent_at timestamp uuid "},
      {F::PostHog, 1, "uuid", "\"3f2504e0-4f89-41d3-9a0c-0305e82c3301\""},
      {F::PostHog, 1, "timestamp", "\"2025-12-01T09:30:00.123Z\""},
      {F::PostHog, 1, "sent_at", "\"2025-12-01T09:31:00.456Z\""},
      {F::PostHog, 1, "properties", "$app_version $lib $lib_version $locale $os $os_version $process_person_profile "
                                    "all_users channel details elapsed_ms elevated env error_flag error_level installer_language os_arch "
                                    "process_arch product reboot session_id silent "},
      {F::PostHog, 1, "properties/$process_person_profile", "false"},
      {F::PostHog, 2, "properties/$process_person_profile", "-"},
      {F::PostHog, 1, "distinct_id", "\"0123456789ABCDEF0123456789abcdef\""},
      {F::PostHog, 2, "distinct_id", "\"{pc-4711}\""},
      {F::PostHog, 2, "properties/session_id", "\"0123456789ABCDEF0123456789abcdef\""},
      {F::Amplitude, 2, "events/0/device_id", "\"{pc-4711}\""},
      {F::Mixpanel, 2, "0/properties/distinct_id", "\"{pc-4711}\""},
      {F::Mixpanel, 2, "0/properties/$device_id", "\"{pc-4711}\""},
      {F::Segment, 2, "batch/0/anonymousId", "\"{pc-4711}\""},
      {F::Ga4, 2, "client_id", "\"{pc-4711}\""},
      {F::PostHog, 1, "properties/$locale", "\"de-DE\""},
      {F::PostHog, 1, "properties/installer_language", "\"fr-FR\""},
      {F::PostHog, 1, "properties/product", "\"Quill\xC3\xA9\""},
      {F::PostHog, 0, "properties", "$lib $lib_version $os $process_person_profile env "},
      {F::Amplitude, 1, "", "api_key events "},
      {F::Amplitude, 1, "events/0", "app_version device_id event_properties event_type insert_id "
                                    "language library os_name os_version platform "},
      {F::Amplitude, 1, "events/0/library", "\"kestrel/" KESTREL_VERSION "\""},
      {F::Amplitude, 1, "events/0/insert_id", "\"3F2504E04F8941d39A0C0305E82C3301\""},
      {F::Amplitude, 1, "events/0/event_properties",
       "all_users channel details elapsed_ms elevated env error_flag error_level installer_language os_arch process_arch "
       "product reboot session_id silent "},
      {F::Amplitude, 0, "events/0/event_properties", "env "},
      {F::Mixpanel, 1, "0", "event properties "},
      {F::Mixpanel, 1, "0/properties", "$app_version_string $insert_id $lib_version $os $os_version all_users channel "
                                       "details distinct_id elapsed_ms elevated env error_flag error_level installer_language "
                                       "mp_lib os_arch process_arch product reboot session_id silent time token ui_language "},
      {F::Mixpanel, 1, "0/properties/time", "1764581400123"},
      {F::Mixpanel, 1, "0/properties/token", "\"KEY\""},
      {F::Mixpanel, 0, "0/properties", "$insert_id $lib_version $os distinct_id env mp_lib time token "},
      {F::Segment, 1, "", "batch writeKey "},
      {F::Segment, 1, "batch/0", "anonymousId context event messageId properties sentAt timestamp type "},
      {F::Segment, 1, "batch/0/type", "\"track\""},
      {F::Segment, 1, "batch/0/timestamp", "\"2025-12-01T09:30:00.123Z\""},
      {F::Segment, 1, "batch/0/sentAt", "\"2025-12-01T09:31:00.456Z\""},
      {F::Segment, 1, "batch/0/context", "app library locale os "},
      {F::Segment, 1, "batch/0/context/os/version", "\"10.0.22631\""},
      {F::Segment, 1, "batch/0/anonymousId", "\"0123456789ABCDEF0123456789abcdef\""},
      {F::Segment, 0, "batch/0/context", "library os "},
      {F::Ga4, 1, "", "client_id device events "},
      {F::Ga4, 1, "device", "language operating_system operating_system_version "},
      {F::Ga4, 1, "events/0/name", "\"install_start\""},
      {F::Ga4, 1, "events/0/params", "all_users app_version channel details elapsed_ms elevated env error_flag "
                                     "error_level installer_language os_arch process_arch product reboot session_id silent "},
      {F::Segment, 1, "batch/0/properties/error_level", "5"}, {F::Ga4, 1, "events/0/params/silent", "true"},
      {F::Amplitude, 1, "events/0/event_properties/reboot", "true"},
      {F::Ga4, 0, "events/0/params", "env "},
  };
  for (const auto& row : rows) {
    const std::string body = BuildVendorBody(row.format, *events[row.event]);
    EXPECT_EQ(At(body, row.path), row.value) << ReportFormatName(row.format) << ' ' << row.path;
  }
  // The newest whole lines that fit the vendor's limit for one value; a line alone over it cut.
  VendorEvent oneLine = full;
  oneLine.added.details = std::string(100, 'x') + DetailLines(0, 1) + DetailLines(0, 1);  // 300 bytes, 202 characters
  const struct { F format; const char* path; int first; int cutBytes; } detailRows[] = {
      {F::PostHog, "properties/details", 10, 300}, {F::Segment, "batch/0/properties/details", 10, 300},
      {F::Amplitude, "events/0/event_properties/details", 31, 300}, {F::Mixpanel, "0/properties/details", 48, 254},
      {F::Ga4, "events/0/params/details", 49, 100}};
  for (const auto& row : detailRows) {
    EXPECT_EQ(At(BuildVendorBody(row.format, full), row.path), WriteCompactJson(Json::Value(DetailLines(row.first, 50))));
    const std::string kept = oneLine.added.details.substr(0, static_cast<std::size_t>(row.cutBytes));
    EXPECT_EQ(At(BuildVendorBody(row.format, oneLine), row.path), WriteCompactJson(Json::Value(kept)))
        << ReportFormatName(row.format);
  }
  EXPECT_EQ(BrokenVendorRule(F::Ga4, full), nullptr);  // cut to fit, not refused

  for (const F format : kVendors) {  // the plug-in's own product members never leave
    const std::string body = BuildVendorBody(format, full);
    for (const char* own : {"user_id", "package_name", "string_1", "\"event_type\":\"app\""}) {
      EXPECT_EQ(body.find(own), std::string::npos) << ReportFormatName(format) << ' ' << own;
    }
    EXPECT_EQ(body.find(full.key) != std::string::npos, FormatTakesKey(format)) << ReportFormatName(format);
  }
}

TEST(VendorBody, RefusesBeforeSendingWhatTheVendorWouldDropUnseen) {
  // glibc classifies characters beyond ASCII only in a UTF-8 locale; Windows' C runtime in any.
  std::setlocale(LC_CTYPE, "C.UTF-8");
  constexpr const char* kNoKeys = "ga4: URL without measurement_id and api_secret in its query";
  constexpr const char* kBadName = "ga4: event name not letters, digits and underscores from a letter";
  const auto with = [](auto change) { VendorEvent e = Sample(); change(e); return e; };
  const std::string long41(41, 'a');
  const struct { F format; VendorEvent event; const char* rule; } rows[] = {
      {F::Ga4, Sample(), nullptr},
      {F::Ga4, with([](VendorEvent& e) { e.url = "https://x/?api_secret=s&measurement_id=G-1"; }), nullptr},
      {F::Ga4, with([](VendorEvent& e) { e.url = "https://x/?measurement_id=G-1"; }), kNoKeys},
      {F::Ga4, with([](VendorEvent& e) { e.url = "https://x/?measurement_id=G-1&api_secret="; }), kNoKeys},
      {F::Ga4, with([](VendorEvent& e) { e.url = "https://x/?measurement_id=G-1#&api_secret=s"; }), kNoKeys},
      {F::Ga4, with([](VendorEvent& e) { e.url = "https://x/?xmeasurement_id=G-1&api_secret=s"; }), kNoKeys},
      {F::Ga4, with([](VendorEvent& e) { e.name = "install-start"; }), kBadName},
      {F::Ga4, with([](VendorEvent& e) { e.name = "1st"; }), kBadName},
      {F::Ga4, with([](VendorEvent& e) { e.name = "\xC3\xA9t\xC3\xA9_\xD0\x96_\xE5\xAE\x89\xE8\xA3\x85_2"; }), nullptr},  // any language
      {F::Ga4, with([](VendorEvent& e) { e.name = "\xE2\x82\xACuro"; }), kBadName},
      {F::Ga4, with([](VendorEvent& e) { e.name = "a\xE2\x80\xA6"; }), kBadName},
      {F::Ga4, with([&](VendorEvent& e) { e.name = long41; }), "ga4: event name over 40 characters"},
      {F::Ga4, with([&](VendorEvent& e) { e.name = long41.substr(1); }), nullptr},
      {F::Ga4, with([](VendorEvent& e) { e.name.clear(); for (int i = 0; i < 40; ++i) e.name += "\xC3\xA9"; }), nullptr},
      {F::Ga4, with([](VendorEvent& e) { e.name = "error"; }), "ga4: reserved event name"},
      {F::Ga4, with([](VendorEvent& e) { e.name = "google_x"; }), "ga4: reserved event name prefix"},
      {F::Ga4, with([&](VendorEvent& e) { e.added.fields = {{long41, "v"}}; }),
       "ga4: parameter name over 40 characters"},
      {F::Ga4, with([](VendorEvent& e) { e.added.fields = {{"gclid", "v"}}; }), "ga4: reserved parameter name"},
      {F::Ga4, with([](VendorEvent& e) { e.added.fields = {{"ga_x", "v"}}; }), "ga4: reserved parameter name prefix"},
      {F::Ga4, with([](VendorEvent& e) { e.channel = std::string(101, 'c'); }),
       "ga4: parameter value over 100 characters"},
      {F::Ga4, with([](VendorEvent& e) { e.channel = std::string(100, 'c'); }), nullptr},
      {F::Ga4, with([](VendorEvent& e) { e.added.fields = {{"f", std::string(50, '\xA9') + std::string(51, 'c')}}; }),
       "ga4: parameter value over 100 characters"},
      {F::Ga4, with([](VendorEvent& e) { e.channel = ""; for (int i = 0; i < 50; ++i) e.channel += "\xC3\xA9\xE2\x82\xAC"; }), nullptr},
      // Sample() carries 16 parameters (with how the installer ran, its details): f16 to f24 make 25.
      {F::Ga4, with([](VendorEvent& e) { for (int i = 16; i < 25; ++i) e.added.fields.push_back({"f" + std::to_string(i), "v"}); }),
       nullptr},
      {F::Ga4, with([](VendorEvent& e) { for (int i = 16; i < 26; ++i) e.added.fields.push_back({"f" + std::to_string(i), "v"}); }),
       "ga4: over 25 parameters"},
      {F::PostHog, with([](VendorEvent& e) { e.id = ""; }), "posthog: uuid not a UUID"},
      {F::PostHog, with([](VendorEvent& e) { e.id[5] = 'g'; }), "posthog: uuid not a UUID"},
      {F::Mixpanel, with([](VendorEvent& e) { e.id = ""; }), "mixpanel: $insert_id not 1 to 36 letters, digits or dashes"},
      {F::Mixpanel, with([](VendorEvent& e) { e.id = std::string(37, 'a'); }),
       "mixpanel: $insert_id not 1 to 36 letters, digits or dashes"},
      {F::Mixpanel, with([](VendorEvent& e) { e.id = std::string(36, '-'); }), nullptr},
      {F::Amplitude, Sample(), nullptr}, {F::Segment, Sample(), nullptr}, {F::PostHog, Sample(), nullptr},
      {F::Kestrel, with([](VendorEvent& e) { e.name = "error"; e.id = ""; }), nullptr},
  };
  for (const auto& row : rows) {
    const char* rule = BrokenVendorRule(row.format, row.event);
    EXPECT_STREQ(rule, row.rule) << ReportFormatName(row.format) << ' ' << row.event.name;
  }
}

// A field so named would be lost, or read as the vendor's own id: refused when it is set.
TEST(VendorBody, NamesTheFieldsEachFormatSetsItself) {
  const struct { F format; const char* key; bool own; } rows[] = {
      {F::Mixpanel, "token", true},       {F::Mixpanel, "time", true},      {F::Mixpanel, "distinct_id", true},
      {F::Mixpanel, "mp_lib", true},      {F::Mixpanel, "ip", true},        {F::Mixpanel, "product", false},  {F::PostHog, "distinct_id", true},
      {F::PostHog, "token", false},       {F::Ga4, "client_id", true},      {F::Amplitude, "distinct_id", false},
      {F::Segment, "distinct_id", false}, {F::Kestrel, "distinct_id", false}};
  for (const auto& row : rows) {
    EXPECT_EQ(FormatSetsField(row.format, row.key), row.own) << ReportFormatName(row.format) << ' ' << row.key;
  }
}

TEST(VendorTookEvent, ReadsTheAnswerAsTheVendorsClientDoes) {
  const struct { F format; const char* answer; bool taken; } rows[] = {
      {F::Amplitude, "{\"code\":200,\"events_ingested\":1}", true},
      {F::Amplitude, "{\"code\":400,\"error\":\"Invalid\"}", false},
      {F::Amplitude, "{\"error\":\"x\"}", false},
      {F::Amplitude, "{\"code\":\"200\"}", false},
      {F::Amplitude, "{\"x\":\"\\\"code\\\":200\",\"code\":429}", false},
      {F::Amplitude, "{\"x\":{\"code\":200},\"y\":[{\"code\":200}]}", false},
      {F::Amplitude, "{\"x\":{\"code\":400},\"code\":200}", true},
      {F::Amplitude, "<html>OK</html>", true},  // not JSON: its 2xx status stands
      {F::Amplitude, "{\"code\":400", true},
      {F::Amplitude, "", true},
      {F::Amplitude, "[{\"code\":200}]", false},
      {F::Mixpanel, "1", true},
      {F::Mixpanel, "0", false},
      {F::Mixpanel, "1\n", false},
      {F::Mixpanel, "{\"error\":null,\"status\":1}", true},
      {F::Mixpanel, "{\"error\":\"{\\\"status\\\":1}\",\"status\":0}", false},
      {F::Mixpanel, "{\"e\":{\"status\":1}}", false},
      {F::Mixpanel, "{\"status\":1", false},
      {F::Mixpanel, "", false},
      {F::PostHog, "{\"status\":0}", true},
      {F::Segment, "", true},
      {F::Ga4, "{\"code\":400}", true},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(VendorTookEvent(row.format, row.answer), row.taken) << ReportFormatName(row.format) << ' ' << row.answer;
  }
}

TEST(ReadTopLevelInteger, ChecksTheGrammarAndReadsOnlyTheTopLevelMember) {
  using S = JsonShape;
  const std::string deep64 = std::string(64, '[') + std::string(64, ']');
  const struct { std::string json; S shape; long long value; } rows[] = {  // value -1: none
      {" {\"a\":[1,{\"code\":5}],\"code\" : 200 }\n", S::Object, 200},
      {"{\"code\":1,\"code\":-7}", S::Object, -7},
      {"{\"code\":1,\"code\":\"1\"}", S::Object, -1},
      {"{\"s\":\"\\u00e9\\\"code\\\":1 \\\\\",\"n\":null}", S::Object, -1},
      {"{\"code\":1e2}", S::Object, -1}, {"{\"code\":2.0}", S::Object, -1},
      {"{\"code\":123456789012345678}", S::Object, 123456789012345678},
      {"{\"code\":1234567890123456789}", S::Object, -1},
      {"{\"code\":0}", S::Object, 0},
      {"{\"code\":01}", S::Invalid, -1}, {"{\"code\":-}", S::Invalid, -1}, {"{\"code\":1.}", S::Invalid, -1},
      {"{\"a\":\"\\x\"}", S::Invalid, -1}, {"{\"a\":\"\\u12G4\"}", S::Invalid, -1},
      {"{\"a\":\"\t\"}", S::Invalid, -1}, {"{\"a\":1}x", S::Invalid, -1}, {"{\"a\":1,}", S::Invalid, -1},
      {"{\"a\" 1}", S::Invalid, -1}, {"{\"a\":tru}", S::Invalid, -1}, {"{,}", S::Invalid, -1},
      {"[1,\"2\",{},[],true,false,null]", S::Other, -1}, {"\"code\"", S::Other, -1}, {"-0.5e+3", S::Other, -1},
      {"", S::Invalid, -1}, {" ", S::Invalid, -1},
      {deep64, S::Other, -1}, {"[" + deep64 + "]", S::Invalid, -1},
  };
  for (const auto& row : rows) {
    const TopLevelInteger read = ReadTopLevelInteger(row.json, "code");
    EXPECT_EQ(read.shape, row.shape) << row.json;
    EXPECT_EQ(read.value.value_or(-1), row.value) << row.json;
  }
  // Every cut of a valid answer, each in a buffer of its own size, is read as cut short.
  const std::string whole = "{\"a\":[\"\\u00e9\",{\"b\":-1.5e3}],\"code\":200}";
  for (std::size_t size = 0; size < whole.size(); ++size) {
    const std::unique_ptr<char[]> cut(new char[size]);
    whole.copy(cut.get(), size);
    EXPECT_EQ(ReadTopLevelInteger({cut.get(), size}, "code").shape, S::Invalid) << size;
  }
}

TEST(VendorFormats, NamesTimesAndIds) {
  for (const F format : {F::Kestrel, F::PostHog, F::Amplitude, F::Mixpanel, F::Segment, F::Ga4}) {
    EXPECT_EQ(ReportFormatNamed(ReportFormatName(format)), format);
    EXPECT_EQ(FormatTakesKey(format), format != F::Kestrel && format != F::Ga4);
  }
  EXPECT_EQ(ReportFormatNamed("PostHog"), F::PostHog);
  EXPECT_EQ(ReportFormatNamed("RudderStack"), F::Segment);  // its beacon endpoint takes Segment's body
  for (const char* other : {"", "postHug", "ga4 ", "rudder"}) EXPECT_FALSE(ReportFormatNamed(other)) << other;
  // Kestrel's document is refused where only a vendor's body is taken; self-hosted addresses are the author's.
  for (const char* url : {"https://us.i.posthog.com/i/v0/e/", "HTTPS://API.Mixpanel.com:443/track?verbose=1",
                          "http://user:p@api2.amplitude.com./2/httpapi", "https://www.google-analytics.com#x"}) {
    EXPECT_TRUE(IsVendorIngestionUrl(url)) << url;
  }
  for (const char* url : {"https://posthog.example.com/i/v0/e/", "https://api.mixpanel.com.example.com/track",
                          "https://example.com/?h=api.segment.io", "api.segment.io/v1/batch"}) {
    EXPECT_FALSE(IsVendorIngestionUrl(url)) << url;
  }
  const struct { std::uint64_t ms; const char* iso; } times[] = {
      {0, "1970-01-01T00:00:00.000Z"}, {951782400000, "2000-02-29T00:00:00.000Z"},
      {4102444799999, "2099-12-31T23:59:59.999Z"}, {253402300800000, "10000-01-01T00:00:00.000Z"}};
  for (const auto& row : times) EXPECT_EQ(IsoTimeUtc(row.ms), row.iso);
  EXPECT_EQ(UuidForm("ABCDEF0123456789abcdef0123456789"), "abcdef01-2345-6789-abcd-ef0123456789");
}

}  // namespace
