#include "diag/trace_redaction.h"

#include <algorithm>

namespace {

constexpr std::string_view kWithheld = "...";

// "name=value" as "name=...", and a bare value as "...".
void AppendQueryParameter(std::string& out, std::string_view parameter) {
  if (parameter.empty()) return;
  const std::size_t equals = parameter.find('=');
  if (equals != std::string_view::npos) out.append(parameter.substr(0, equals + 1));
  out.append(kWithheld);
}

// Where the authority starts, past "scheme://"; 0 when the URL does not start with a scheme.
std::size_t AuthorityStart(std::string_view url) {
  const auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  const auto isSchemeChar = [&](char c) {
    return isLetter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
  };
  const std::size_t end = std::find_if_not(url.begin(), url.end(), isSchemeChar) - url.begin();
  if (end == 0 || !isLetter(url.front()) || url.substr(end, 3) != "://") return 0;
  return end + 3;
}

}  // namespace

std::string TracedText(std::string_view text, Traced traced) {
  switch (traced) {
    case Traced::Whole: return std::string(text);
    case Traced::AsUrl: return UrlForTrace(text);
    case Traced::LengthOnly: return std::string(kWithheld);
  }
  return std::string(kWithheld);
}

std::string UrlForTrace(std::string_view url) {
  const std::size_t authority = AuthorityStart(url);
  if (authority == 0) return std::string(kWithheld);
  const std::size_t authorityEnd = std::min(url.find_first_of("/?#", authority), url.size());
  // An "@" past the authority with a ":" before it: a password holding "/", "?" or "#"
  // cannot be told from a path, so only the scheme shows.
  const std::size_t lastAt = url.rfind('@');
  if (lastAt != std::string_view::npos && lastAt > authorityEnd &&
      url.substr(authority, lastAt - authority).find(':') != std::string_view::npos) {
    return std::string(url.substr(0, authority)).append(kWithheld);
  }
  const std::size_t fragment = std::min(url.find('#'), url.size());
  const std::size_t query = std::min(url.substr(0, fragment).find('?'), fragment);
  const std::size_t at = url.substr(0, authorityEnd).rfind('@');
  const std::size_t host = at == std::string_view::npos ? authority : at + 1;

  std::string out(url.substr(0, authority));
  out.append(url.substr(host, query - host));
  if (query < fragment) {
    out += '?';
    std::string_view parameters = url.substr(query + 1, fragment - query - 1);
    for (std::size_t amp; (amp = parameters.find('&')) != std::string_view::npos;) {
      AppendQueryParameter(out, parameters.substr(0, amp));
      out += '&';
      parameters.remove_prefix(amp + 1);
    }
    AppendQueryParameter(out, parameters);
  }
  if (fragment + 1 < url.size()) out.append("#").append(kWithheld);
  return out;
}
