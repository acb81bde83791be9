#include "http/send_http_request.h"

#include <windows.h>
#include <wininet.h>

#include "http/http_utility.h"
#include "http/text_conversion.h"

namespace {

constexpr uint32_t kCertificateRelaxations = SECURITY_FLAG_IGNORE_REVOCATION | SECURITY_FLAG_IGNORE_UNKNOWN_CA |
                                             SECURITY_FLAG_IGNORE_WRONG_USAGE |
                                             SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
                                             SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
static_assert(kCertificateRelaxations == 0x3380);

// Firewall rule sets in front of many endpoints refuse requests without a User-Agent.
constexpr char kUserAgent[] = "Kestrel/" KESTREL_VERSION;
// The proxy and bypass list of the system's internet settings, or direct where none is set.
constexpr int32_t kSystemProxySettings = 1;

std::string UpToFirstNul(const std::string& text) { return text.substr(0, text.find('\0')); }

}  // namespace

bool SendHttpRequest(std::string method, std::string url, std::string body, HttpHeaderList headers,
                     int32_t timeoutMs, bool responseUtf8, int32_t& statusCode, std::string& response,
                     HANDLE cancel, HttpFailureDetails* details, const HttpSendOptions& options) {
  if (headers.empty()) headers.emplace_back("Content-Type", "application/x-www-form-urlencoded");
  std::string headerBlock;
  for (const auto& [name, value] : headers) {
    headerBlock += name;
    headerBlock += ": ";
    headerBlock += value;
    headerBlock += "\r\n";
  }
  if (url.empty()) return false;

  CHttpUtility http;
  http.m_strAgent = kUserAgent;
  http.m_nProxyMode = kSystemProxySettings;
  if (std::string text = UpToFirstNul(url); !text.empty()) http.m_strUrl = std::move(text);
  if (std::string text = UpToFirstNul(headerBlock); !text.empty()) http.m_strHeaders = std::move(text);
  if (timeoutMs != 0) http.m_dwTimeout = static_cast<uint32_t>(timeoutMs);
  if (std::string text = UpToFirstNul(method); !text.empty()) http.m_strMethod = std::move(text);
  http.m_dwSecurityFlags |= options.checkCertificates ? SECURITY_FLAG_IGNORE_REVOCATION : kCertificateRelaxations;
  http.m_nResponseKept = options.responseKept;
  http.m_strBody = UpToFirstNul(body);
  http.m_hCancelEvent = cancel;

  const bool result = http.Execute();
  statusCode = static_cast<int32_t>(http.m_dwStatusCode);
  if (details) *details = {http.m_dwError, http.m_strRetryAfter, http.m_bViaProxy};
  // The body is taken to be UTF-8 whatever the server declared.
  const WideString wide = Utf8ToWide(http.m_strResponse.data(), http.m_nResponseLength);
  response = WideToMultiByte(wide.data(), static_cast<int>(wide.size()), responseUtf8 ? CP_UTF8 : CP_ACP);
  return result;
}
