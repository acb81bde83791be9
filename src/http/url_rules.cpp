#include "http/url_rules.h"

namespace {

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

}  // namespace

UrlScheme SchemeOf(std::string_view url) {
  if (StartsWithIgnoringCase(url, "https://")) return UrlScheme::Https;
  if (StartsWithIgnoringCase(url, "http://")) return UrlScheme::Http;
  return UrlScheme::Other;
}

std::string WithoutFragment(std::string_view url) { return std::string(url.substr(0, url.find('#'))); }

bool IsFollowableUrl(std::string_view url, size_t bufferSize) {
  return SchemeOf(url) != UrlScheme::Other && url.size() < bufferSize;
}
