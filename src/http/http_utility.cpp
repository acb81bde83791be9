#include "http/http_utility.h"

#include <windows.h>
#include <wininet.h>

#include "common/deadline.h"
#include "http/http_attempt.h"
#include "http/route_rules.h"
#include "http/url_rules.h"
#include "text/format_text.h"

namespace {

constexpr int kMaxFollows = 3;
// Reading the answer: the time from its headers after which it is left unread.
constexpr DWORD kReadDeadlineMs = 5000;
// A proxy's own page (its 407) is read only this far: the direct attempt keeps the rest of the send limit.
constexpr DWORD kProxyPageReadMs = 250;
constexpr size_t kProxyPageCap = 64 * 1024;

bool IsSignalled(HANDLE event) { return event && WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

HttpAttemptRequest AttemptRequest(const CHttpUtility& http, const std::string& url, int32_t proxyMode,
                                  bool followRedirect) {
  HttpAttemptRequest request;
  request.agent = http.m_strAgent;
  request.proxyMode = proxyMode;
  char port[12];  // std::to_string would bring a 200-byte table of digit pairs
  FormatText(port, sizeof port, "%ld", static_cast<long>(http.m_nProxyPort));
  request.proxy = "https://" + http.m_strProxyHost + ":" + port;
  request.proxyUser = http.m_strProxyUser;
  request.proxyPassword = http.m_strProxyPassword;
  request.url = url;
  request.method = http.m_strMethod;
  request.version = http.m_strVersion;
  request.referrer = http.m_strReferrer;
  request.accept = http.m_strAccept;
  request.headers = http.m_strHeaders;
  request.body = http.m_strBody;
  request.head = http.m_strMethod == "HEAD";
  request.followRedirect = followRedirect;
  request.collectCookies = http.m_bCollectCookies;
  request.extraSecurityFlags = http.m_dwSecurityFlags;
  return request;
}

}  // namespace

bool CHttpUtility::Execute() {
  m_dwStatusCode = 0;
  m_dwError = 0;
  m_strRetryAfter.clear();
  m_bViaProxy = false;
  if (IsSignalled(m_hCancelEvent)) {
    m_dwError = ERROR_INTERNET_OPERATION_CANCELLED;
    return false;
  }
  // WinINet would send HTTP to an ftp:// URL's port.
  if (SchemeOf(m_strUrl) == UrlScheme::Other) {
    m_dwError = ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    return false;
  }
  const DWORD sendDeadline = GetTickCount() + m_dwTimeout;
  std::string url = WithoutFragment(m_strUrl);
  int32_t proxyMode = m_nProxyMode;
  bool resent = false;
  for (int follows = 0;;) {
    HttpAttempt attempt;
    const DWORD connectDeadline = GetTickCount() + ProxyConnectLimitMs(m_dwTimeout);
    if ((m_dwError = attempt.Start(AttemptRequest(*this, url, proxyMode, follows < kMaxFollows))) != 0) {
      return false;
    }
    const DWORD sendError = attempt.WaitAnswered(sendDeadline, connectDeadline, m_hCancelEvent);
    m_bViaProxy = attempt.Route().viaProxy;
    const bool timeLeft = sendError != ERROR_INTERNET_OPERATION_CANCELLED && !HasPassed(sendDeadline);
    if (timeLeft && FallsBackToDirect(attempt.Route())) {
      // The proxy's own answer (407) read to its end hands its connection back to WinINet's
      // pool when closed; a page still coming after a short read is left unread instead.
      if (sendError == 0) {
        attempt.ReadBody(Earlier(sendDeadline, GetTickCount() + kProxyPageReadMs), m_hCancelEvent, kProxyPageCap);
      }
      proxyMode = 0;
      continue;
    }
    if (timeLeft && !resent && IsResentOnNewConnection(sendError)) {
      resent = true;
      continue;
    }
    if ((m_dwError = sendError) != 0) return false;

    m_dwStatusCode = attempt.Status();
    m_strRetryAfter = attempt.RetryAfter();
    if (m_bCollectCookies) m_strCookies = attempt.Cookies();
    // A redirect's own body must be read within the send limit, since the request goes on.
    const std::string& next = attempt.FollowedUrl();
    attempt.ReadBody(next.empty() ? GetTickCount() + kReadDeadlineMs : sendDeadline, m_hCancelEvent,
                     HttpAttempt::kResponseCap, next.empty() ? m_nResponseKept : 0);
    if (!next.empty() && attempt.ReadToEnd()) {
      url = next;
      m_dwStatusCode = 0;
      ++follows;
      continue;
    }
    m_strResponse += attempt.Response();
    m_nResponseLength = static_cast<int32_t>(m_strResponse.size());
    m_dwError = attempt.ReadError();
    return attempt.ReadToEnd();
  }
}
