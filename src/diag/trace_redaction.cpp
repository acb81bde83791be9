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
  const std::size_t separator = url.find("://");
  const std::size_t authority = separator == std::string_view::npos ? 0 : separator + 3;
  const std::size_t fragment = std::min(url.find('#'), url.size());
  const std::size_t query = std::min(url.substr(0, fragment).find('?'), fragment);
  const std::size_t at = url.substr(0, query).rfind('@');
  const std::size_t host = at == std::string_view::npos || at < authority ? authority : at + 1;

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
