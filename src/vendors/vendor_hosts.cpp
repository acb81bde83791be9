#include "vendors/vendor_hosts.h"

#include "text/ascii_case.h"
#include "text/word_list.h"

namespace {

constexpr std::string_view kIngestionHosts =
    "us.i.posthog.com eu.i.posthog.com api2.amplitude.com api.eu.amplitude.com api.mixpanel.com "
    "api-eu.mixpanel.com api-in.mixpanel.com api.segment.io events.eu1.segmentapis.com "
    "www.google-analytics.com region1.google-analytics.com";

// The host name of a "scheme://" URL; empty for any other text.
std::string_view HostOf(std::string_view url) {
  const std::size_t scheme = url.find("://");
  if (scheme == std::string_view::npos) return {};
  std::string_view host = url.substr(scheme + 3);
  host = host.substr(0, host.find_first_of("/?#\\"));
  if (const std::size_t at = host.rfind('@'); at != std::string_view::npos) host.remove_prefix(at + 1);
  host = host.substr(0, host.find(':'));
  if (!host.empty() && host.back() == '.') host.remove_suffix(1);
  return host;
}

}  // namespace

bool IsVendorIngestionUrl(std::string_view url) {
  const std::string_view host = HostOf(url);
  for (std::string_view list = kIngestionHosts; !list.empty();) {
    if (EqualsIgnoringAsciiCase(TakeWord(list), host)) return true;
  }
  return false;
}
