#include "http/url_rules.h"

#include "text/ascii_case.h"

namespace {

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace

UrlScheme SchemeOf(std::string_view url) {
  if (StartsWithIgnoringCase(url, "https://")) return UrlScheme::Https;
  if (StartsWithIgnoringCase(url, "http://")) return UrlScheme::Http;
  return UrlScheme::Other;
}

std::string WithoutFragment(std::string_view url) { return std::string(url.substr(0, url.find('#'))); }

bool IsFollowableUrl(std::string_view url, size_t bufferSize, bool httpsOnly) {
  const UrlScheme scheme = SchemeOf(url);
  return (httpsOnly ? scheme == UrlScheme::Https : scheme != UrlScheme::Other) && url.size() < bufferSize;
}
