#include "http/url_rules.h"

#include <gtest/gtest.h>

namespace {

TEST(UrlRules, SchemesInAnyCaseAndFragmentsNeverSent) {
  struct Case {
    const char* url;
    UrlScheme scheme;
    const char* withoutFragment;
    bool followable;
  };
  const Case cases[] = {
      {"http://h/v1/e?q=1#frag", UrlScheme::Http, "http://h/v1/e?q=1", true},
      {"HTTPS://h/", UrlScheme::Https, "HTTPS://h/", true},
      {"Https://h/#", UrlScheme::Https, "Https://h/", true},
      {"HTTP://h/a#b#c", UrlScheme::Http, "HTTP://h/a", true},
      {"httpx://h/", UrlScheme::Other, "httpx://h/", false},
      {"https:/h/", UrlScheme::Other, "https:/h/", false},
      {"ftp://127.0.0.1:21/answer", UrlScheme::Other, "ftp://127.0.0.1:21/answer", false},
      {"mailto:someone@example.com", UrlScheme::Other, "mailto:someone@example.com", false},
      {"", UrlScheme::Other, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(SchemeOf(c.url), c.scheme);
    EXPECT_EQ(WithoutFragment(c.url), c.withoutFragment);
    EXPECT_EQ(IsFollowableUrl(WithoutFragment(c.url), 1024, false), c.followable);
    // From https with a checked certificate, never on to http, where the key would go out in clear.
    EXPECT_EQ(IsFollowableUrl(WithoutFragment(c.url), 1024, true), c.scheme == UrlScheme::Https);
  }
  const std::string longest = "http://h/" + std::string(1014, 'a');
  EXPECT_TRUE(IsFollowableUrl(longest, 1024, false));
  EXPECT_FALSE(IsFollowableUrl(longest + "a", 1024, false));
}

}  // namespace
