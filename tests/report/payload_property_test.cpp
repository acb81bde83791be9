#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "report/event_text.h"
#include "report/payload.h"
#include "report_oracle.h"

namespace {

// Bytes the writer treats specially.
constexpr char kEscaped[] = "\x01\x08\x09\x0A\x0C\x0D\x1B\x1F\"\\/u0\x7F\x80\xE9\xFF&";

// Random texts without NUL, half their bytes drawn from `special`.
std::string RandomText(std::mt19937& random, const std::string& special = kEscaped) {
  std::uniform_int_distribution<int> length(0, 24);
  std::uniform_int_distribution<int> coin(0, 1);
  std::uniform_int_distribution<std::size_t> pick(0, special.size() - 1);
  std::uniform_int_distribution<int> anyByte(1, 255);
  std::string text(static_cast<std::size_t>(length(random)), '\0');
  for (char& c : text) c = static_cast<char>(coin(random) ? special[pick(random)] : anyByte(random));
  return text;
}

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned char c : bytes) hex += {kDigits[c >> 4], kDigits[c & 15], ' '};
  return hex;
}

TEST(ReportPayloadProperty, EveryValueReadsBackByteForByte) {
  std::mt19937 random(20240501);
  for (int round = 0; round < 3000; ++round) {
    const ReportValues values{RandomText(random), RandomText(random), RandomText(random),
                              RandomText(random), RandomText(random), {}, {}};
    const std::string body = BuildReportPayload(values.eventName, values.eventId, values.appVersion,
                                                values.channel, values.environment);
    ASSERT_EQ(CheckReportBody(body, values), "") << "round " << round << ": " << Hex(body);
  }
}

TEST(ReportPayloadProperty, SplitMatchesAReferenceSplit) {
  std::mt19937 random(7);
  for (int round = 0; round < 3000; ++round) {
    std::string text = RandomText(random, "&&&a");
    const std::vector<std::string> expected = ReferenceFields(text);
    std::vector<std::string> fields;
    ASSERT_EQ(SplitEventText(text.data(), fields), expected) << "round " << round;
  }
}

}  // namespace
