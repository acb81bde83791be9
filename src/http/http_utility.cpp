#include "http/http_utility.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>

#include "http/http_attempt.h"
#include "http/route_rules.h"
#include "http/url_rules.h"

namespace {

constexpr int kMaxFollows = 3;
// Each wait for data, the answer's headers included, so it is never shorter than the send
// limit.
constexpr DWORD kReadWaitMs = 5000;

bool IsSignalled(HANDLE event) { return event && WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

HttpAttemptRequest AttemptRequest(const CHttpUtility& http, const std::string& url, int32_t proxyMode,
                                  bool followRedirect, DWORD sendDeadline) {
  HttpAttemptRequest request;
  request.agent = http.m_strAgent;
  request.proxyMode = proxyMode;
  request.proxy = "https://" + http.m_strProxyHost + ":" + std::to_string(http.m_nProxyPort);
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
  request.sendDeadline = sendDeadline;
  request.extraSecurityFlags = http.m_dwSecurityFlags;
  request.receiveTimeoutMs = std::max(kReadWaitMs, static_cast<DWORD>(http.m_dwTimeout));
  return request;
}

}  // namespace

bool CHttpUtility::Execute() {
  m_dwStatusCode = 0;
  m_dwError = 0;
  m_strRetryAfter.clear();
  if (IsSignalled(m_hCancelEvent)) {
    m_dwError = ERROR_INTERNET_OPERATION_CANCELLED;
    return false;
  }
  const DWORD sendDeadline = GetTickCount() + m_dwTimeout;
  std::string url = WithoutFragment(m_strUrl);
  int32_t proxyMode = m_nProxyMode;
  bool resent = false;
  for (int follows = 0;;) {
    HttpAttempt attempt;
    if ((m_dwError = attempt.Start(AttemptRequest(*this, url, proxyMode, follows < kMaxFollows, sendDeadline))) != 0) {
      return false;
    }
    if ((m_dwError = attempt.WaitAnswered(sendDeadline, m_hCancelEvent)) != 0) return false;
    const DWORD sendError = attempt.SendError();
    if (attempt.ViaProxy() && FallsBackToDirect(sendError, attempt.Status())) {
      attempt.Abandon();  // a 407's own body is of no use
      proxyMode = 0;
      continue;
    }
    if (sendError != 0 && !resent && IsResentOnNewConnection(sendError)) {
      resent = true;
      continue;
    }
    if ((m_dwError = sendError) != 0) return false;

    m_dwStatusCode = attempt.Status();
    m_strRetryAfter = attempt.RetryAfter();
    if (m_bCollectCookies) m_strCookies = attempt.Cookies();
    attempt.WaitRead(m_hCancelEvent);
    const std::string next = attempt.FollowedUrl();
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
