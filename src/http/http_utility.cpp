#include "http/http_utility.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>

#include "http/http_attempt.h"
#include "http/url_rules.h"

namespace {

constexpr int kMaxFollows = 3;
// Each wait for data, the answer's headers included, so it is never shorter than the send
// limit.
constexpr DWORD kReadWaitMs = 5000;

bool IsSignalled(HANDLE event) { return event && WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

}  // namespace

bool CHttpUtility::Execute() {
  m_dwStatusCode = 0;
  m_dwError = 0;
  if (IsSignalled(m_hCancelEvent)) {
    m_dwError = ERROR_INTERNET_OPERATION_CANCELLED;
    return false;
  }
  const DWORD sendDeadline = GetTickCount() + m_dwTimeout;
  std::string url = WithoutFragment(m_strUrl);
  for (int follows = 0;; ++follows) {
    HttpAttemptRequest request;
    request.agent = m_strAgent;
    request.proxyMode = m_nProxyMode;
    request.proxy = "https://" + m_strProxyHost + ":" + std::to_string(m_nProxyPort);
    request.proxyUser = m_strProxyUser;
    request.proxyPassword = m_strProxyPassword;
    request.url = url;
    request.method = m_strMethod;
    request.version = m_strVersion;
    request.referrer = m_strReferrer;
    request.accept = m_strAccept;
    request.headers = m_strHeaders;
    request.body = m_strBody;
    request.head = m_strMethod == "HEAD";
    request.followRedirect = follows < kMaxFollows;
    request.collectCookies = m_bCollectCookies;
    request.sendDeadline = sendDeadline;
    request.extraSecurityFlags = m_dwSecurityFlags;
    request.receiveTimeoutMs = std::max(kReadWaitMs, static_cast<DWORD>(m_dwTimeout));

    HttpAttempt attempt;
    if ((m_dwError = attempt.Start(std::move(request))) != 0) return false;
    if ((m_dwError = attempt.WaitAnswered(sendDeadline, m_hCancelEvent)) != 0) return false;
    if ((m_dwError = attempt.SendError()) != 0) return false;

    m_dwStatusCode = attempt.Status();
    if (m_bCollectCookies) m_strCookies = attempt.Cookies();
    attempt.WaitRead(m_hCancelEvent);
    const std::string next = attempt.FollowedUrl();
    if (!next.empty() && attempt.ReadToEnd()) {
      url = next;
      m_dwStatusCode = 0;
      continue;
    }
    m_strResponse += attempt.Response();
    m_nResponseLength = static_cast<int32_t>(m_strResponse.size());
    m_dwError = attempt.ReadError();
    return attempt.ReadToEnd();
  }
}
