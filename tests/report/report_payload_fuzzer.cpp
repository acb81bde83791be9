// Input: the event text, a NUL byte, then the URL. Both go through the same fixed
// zero-filled buffers the commands pop into, then split, defaults, environment rule
// and payload; every result is checked independently, and any mismatch aborts. The
// event text's fields, taken in pairs, are also set as the script's own fields, and an
// odd first byte adds a context made of them (its next five bits how the installer ran),
// for a second document; its bit 6 attaches the event text as the details lines.
// The whole input is also a Retry-After value, its first bytes picking the clock, the
// failed attempts and the random number of the retry wait, whose bounds are checked.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "report/event_text.h"
#include "report/payload.h"
#include "report/retry_policy.h"
#include "report_oracle.h"

namespace {

constexpr std::size_t kUrlSize = 512;
constexpr std::size_t kEventTextSize = 1024;
constexpr char kEventId[] = "3F2504E04F8941d39A0C0305E82C3301";

std::string UpToNul(const uint8_t* begin, const uint8_t* end, std::size_t bufferSize) {
  const auto* nul = static_cast<const uint8_t*>(std::memchr(begin, 0, end - begin));
  std::string text(begin, nul ? nul : end);
  if (text.size() >= bufferSize) text.resize(bufferSize - 1);
  return text;
}

[[noreturn]] void Fail(const std::string& what, const std::string& body) {
  std::fprintf(stderr, "report payload mismatch: %s\nbody: %s\n", what.c_str(), body.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const uint8_t* end = data + size;
  const std::string eventText = UpToNul(data, end, kEventTextSize);
  const auto* separator = static_cast<const uint8_t*>(std::memchr(data, 0, size));
  const std::string url = separator ? UpToNul(separator + 1, end, kUrlSize) : std::string();

  std::vector<char> eventBuffer(kEventTextSize, '\0');
  std::vector<char> urlBuffer(kUrlSize, '\0');
  std::memcpy(eventBuffer.data(), eventText.data(), eventText.size());
  std::memcpy(urlBuffer.data(), url.data(), url.size());

  const EventFields fields = ParseEventText(eventBuffer.data());
  const std::vector<std::string> reference = ReferenceFields(eventText);
  const bool replaced = reference.size() >= 3;
  ReportValues expected{replaced ? reference[0] : "installer", kEventId,
                        replaced ? reference[2] : "0.0.0", replaced ? reference[1] : "marlow",
                        url.find("dev") != std::string::npos ? "test" : "prd", {}, {}};
  if (fields.eventName != expected.eventName || fields.channel != expected.channel ||
      fields.appVersion != expected.appVersion) {
    Fail("event fields differ from the reference split", eventText);
  }
  const char* environment = EnvironmentForUrl(urlBuffer.data());
  if (expected.environment != environment) Fail("environment", url);

  const std::string body = BuildReportPayload(fields.eventName, kEventId, fields.appVersion,
                                              fields.channel, environment);
  if (std::string problem = CheckReportBody(body, expected); !problem.empty()) Fail(problem, body);

  AddedMembers added;  // the fields in pairs, "-" for an empty value
  for (std::size_t i = 0; i + 1 < reference.size(); i += 2) {
    SetReportField(added, reference[i], reference[i + 1] == "-" ? "" : reference[i + 1]);
  }
  expected.fields.insert(added.fields.begin(), added.fields.end());
  if ((added.hasContext = size > 0 && (data[0] & 1))) {
    expected.context = added.context = {fields.channel, static_cast<uint32_t>(size * 2654435761u),
                                        fields.appVersion, fields.eventName, url, eventText, environment,
                                        (data[0] & 2) != 0, (data[0] & 4) != 0, (data[0] & 8) != 0,
                                        (data[0] & 16) != 0, (data[0] & 32) != 0, -static_cast<int>(size)};
  }
  if (size > 0 && (data[0] & 64)) expected.details = added.details = eventText;
  const std::string richer = BuildReportPayload(fields.eventName, kEventId, fields.appVersion, fields.channel, environment, added);
  if (std::string problem = CheckReportBody(richer, expected); !problem.empty()) Fail(problem, richer);

  const std::string retryAfter(reinterpret_cast<const char*>(data), size);
  uint64_t bits = 0;
  std::memcpy(&bits, data, std::min(size, sizeof bits));
  const int failedAttempts = static_cast<int>(bits >> 32);
  const auto random = static_cast<uint32_t>(bits);
  // Any clock, and one 30 s before the dates in the corpus.
  for (const int64_t now : {static_cast<int64_t>(bits), int64_t{784111747}}) {
    const std::optional<uint32_t> ms = RetryAfterMs(retryAfter, now);
    const uint32_t wait = NextRetryWaitMs(failedAttempts, 503, retryAfter, now, random);
    if ((ms && *ms > 60000) || wait > 60000) Fail("Retry-After wait above 60 s", retryAfter);
    if (NextRetryWaitMs(failedAttempts, 502, retryAfter, now, random) > 30000)
      Fail("backoff above 30 s", retryAfter);
  }
  return 0;
}
