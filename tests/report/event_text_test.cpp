#include "report/event_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Fields = std::vector<std::string>;

Fields Split(const std::string& text) {
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back('\0');
  Fields fields;
  SplitEventText(buffer.data(), fields);
  return fields;
}

EventFields Parse(const std::string& text) {
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back('\0');
  return ParseEventText(buffer.data());
}

TEST(SplitEventText, FieldsAreTheRunsBetweenAmpersands) {
  const struct {
    const char* text;
    Fields fields;
  } cases[] = {
      {"a&b&c", {"a", "b", "c"}},        {"a&b&c&d", {"a", "b", "c", "d"}},
      {"a&b", {"a", "b"}},               {"a", {"a"}},
      {"", {}},                          {"&&&", {}},
      {"a&&b&c", {"a", "b", "c"}},       {"&a&b&c&", {"a", "b", "c"}},
      {"&&a&b&&c", {"a", "b", "c"}},     {"a&&b", {"a", "b"}},
      {" a & B ", {" a ", " B "}},
  };
  for (const auto& c : cases) EXPECT_EQ(Split(c.text), c.fields) << '"' << c.text << '"';
}

TEST(SplitEventText, AppendsToTheListAndConsumesTheTextLikeStrtok) {
  char text[] = "&a&&b&";
  Fields fields{"x"};
  EXPECT_EQ(&SplitEventText(text, fields), &fields);
  EXPECT_EQ(fields, (Fields{"x", "a", "b"}));
  // Only the '&' right after each field is overwritten.
  EXPECT_EQ(std::string(text, sizeof text), std::string("&a\0&b\0\0", 7));
}

TEST(ParseEventText, TakesThreeFieldsOrKeepsAllDefaults) {
  const struct {
    const char* text;
    const char* eventName;
    const char* channel;
    const char* appVersion;
  } cases[] = {
      {"a&b&c", "a", "b", "c"},
      {"a&b&c&d", "a", "b", "c"},
      {"a&&b&c", "a", "b", "c"},
      {"&a&b&c&", "a", "b", "c"},
      {"&&a&b&&c", "a", "b", "c"},
      {"a&b", "installer", "marlow", "0.0.0"},
      {"a", "installer", "marlow", "0.0.0"},
      {"", "installer", "marlow", "0.0.0"},
      {"a&&b", "installer", "marlow", "0.0.0"},
      {" Setup Start &Beta\"\\/& 1.0 ", " Setup Start ", "Beta\"\\/", " 1.0 "},
  };
  for (const auto& c : cases) {
    const EventFields fields = Parse(c.text);
    EXPECT_EQ(fields.eventName, c.eventName) << '"' << c.text << '"';
    EXPECT_EQ(fields.channel, c.channel) << '"' << c.text << '"';
    EXPECT_EQ(fields.appVersion, c.appVersion) << '"' << c.text << '"';
  }
}

TEST(EnvironmentForUrl, TestOnlyWhenTheUrlHoldsLowerCaseDev) {
  const struct {
    const char* url;
    const char* environment;
  } cases[] = {
      {"http://127.0.0.1:8080/device/report", "test"},
      {"https://dev.collect.example.test/report", "test"},
      {"http://127.0.0.1/report?stage=dev", "test"},
      {"dev", "test"},
      {"http://DEV.example.test/Dev", "prd"},
      {"https://collect.example.test/report", "prd"},
      {"", "prd"},
      {"de", "prd"},
      {"d", "prd"},
  };
  for (const auto& c : cases) EXPECT_STREQ(EnvironmentForUrl(c.url), c.environment) << c.url;
}

}  // namespace
