#include "http/http_attempt.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/deadline.h"
#include "http/answer_head.h"
#include "http/status_callback.h"
#include "http/url_rules.h"
#include "lifetime/callback_gate.h"
#include "lifetime/unread_requests.h"

namespace {

constexpr DWORD kComponentSize = 1024;
// WinINet checks the host name and dates only when the request is opened without their
// relaxations: set among the security flags afterwards, they would check the authority alone.
constexpr DWORD kCertificateNameAndDate = INTERNET_FLAG_IGNORE_CERT_CN_INVALID | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID;
static_assert(kCertificateNameAndDate == (SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID));
// WinINet would repeat a POST answered 301/302/303 as a GET without the body and report the
// final status as if the report had been taken; 307/308 are followed by the caller instead.
// An installer must never show WinINet's dialogs (certificates, proxy credentials).
// A report carries only its own data: no cookies of the user's store go out, and none
// the endpoint sets are stored there; nor is its answer written to the user's cache.
constexpr DWORD kRequestFlags = INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES |
                                INTERNET_FLAG_NO_CACHE_WRITE;

struct UrlParts {
  bool secure = false;
  std::string host;
  INTERNET_PORT port = 0;
  std::string object;  // path and query, escapes kept as written
};

std::string ComponentText(const char* buffer) { return std::string(buffer, strnlen(buffer, kComponentSize)); }

// One text component of the split: a zero-filled buffer, offered whole.
struct UrlComponent {
  char text[kComponentSize] = {};
  void OfferTo(LPSTR& field, DWORD& length) {
    field = text;
    length = kComponentSize;
  }
};

// A URL that cannot be split leaves the parts empty and fails at a later step. The user
// name and password are not used.
UrlParts SplitUrl(const std::string& url) {
  UrlComponent scheme, host, userName, password, urlPath, extraInfo;
  URL_COMPONENTSA components = {};
  components.dwStructSize = sizeof(components);
  scheme.OfferTo(components.lpszScheme, components.dwSchemeLength);
  host.OfferTo(components.lpszHostName, components.dwHostNameLength);
  userName.OfferTo(components.lpszUserName, components.dwUserNameLength);
  password.OfferTo(components.lpszPassword, components.dwPasswordLength);
  urlPath.OfferTo(components.lpszUrlPath, components.dwUrlPathLength);
  extraInfo.OfferTo(components.lpszExtraInfo, components.dwExtraInfoLength);
  InternetCrackUrlA(url.c_str(), static_cast<DWORD>(url.size()), 0, &components);
  return {SchemeOf(url) == UrlScheme::Https, ComponentText(host.text), components.nPort,
          ComponentText(urlPath.text) + ComponentText(extraInfo.text)};
}

DWORD AccessType(int32_t proxyMode) {
  if (proxyMode == 0) return INTERNET_OPEN_TYPE_DIRECT;
  return proxyMode == 2 ? INTERNET_OPEN_TYPE_PROXY : INTERNET_OPEN_TYPE_PRECONFIG;
}

// Whether the session's proxy carries requests to `host`, as the system's settings or the
// caller set it: a proxy is named and the host is not on its bypass list.
bool RoutedThroughProxy(HINTERNET internet, const std::string& host) {
  DWORD size = 0;
  InternetQueryOptionA(internet, INTERNET_OPTION_PROXY, nullptr, &size);
  if (size < sizeof(INTERNET_PROXY_INFO)) return false;
  std::vector<char> buffer(size);
  if (!InternetQueryOptionA(internet, INTERNET_OPTION_PROXY, buffer.data(), &size)) return false;
  const auto* info = reinterpret_cast<const INTERNET_PROXY_INFO*>(buffer.data());
  if (info->dwAccessType != INTERNET_OPEN_TYPE_PROXY) return false;
  const auto* bypass = reinterpret_cast<const char*>(info->lpszProxyBypass);
  return !(bypass && IsBypassed(host, bypass));
}

}  // namespace

HttpAttempt::~HttpAttempt() { End(); }

DWORD HttpAttempt::Start(HttpAttemptRequest request) {
  m_request = std::move(request);
  m_context = CallbackGateReady() ? AttemptContext::Create() : nullptr;
  if (!m_context) return ERROR_NOT_ENOUGH_MEMORY;
  if (const DWORD error = OpenHandles()) return error;
  m_context->headers = m_request.headers;
  m_context->body = m_request.body;
  m_context->ExpectCompletion();
  const BOOL sent = HttpSendRequestA(m_requestHandle.get(), m_context->headers.data(),
                                     static_cast<DWORD>(m_context->headers.size()), m_context->body.data(),
                                     static_cast<DWORD>(m_context->body.size()));
  if (sent) return 0;
  const DWORD error = GetLastError();
  if (error == ERROR_IO_PENDING) {
    m_callPending = true;
    return 0;
  }
  m_sendError = error;
  return 0;
}

DWORD HttpAttempt::SecureRequestFlags() const {
  return INTERNET_FLAG_SECURE | (m_request.extraSecurityFlags & kCertificateNameAndDate);
}

bool HttpAttempt::ChecksCertificate() const {
  return (m_request.extraSecurityFlags & (SECURITY_FLAG_IGNORE_UNKNOWN_CA | kCertificateNameAndDate)) == 0;
}

// The callback is set before the first child handle exists: children take it from their
// parent when they are made.
DWORD HttpAttempt::OpenHandles() {
  const bool named = m_request.proxyMode == 2;
  m_internet.reset(InternetOpenA(m_request.agent.c_str(), AccessType(m_request.proxyMode),
                                 named ? m_request.proxy.c_str() : nullptr, nullptr, INTERNET_FLAG_ASYNC));
  if (!m_internet) return GetLastError();
  InternetSetStatusCallbackA(m_internet.get(), KestrelStatusCallback);

  const UrlParts parts = SplitUrl(m_request.url);
  if (parts.host.empty()) return ERROR_INTERNET_INVALID_URL;
  m_viaProxy = m_request.proxyMode != 0 && RoutedThroughProxy(m_internet.get(), parts.host);
  const auto context = reinterpret_cast<DWORD_PTR>(m_context);
  // Credentials written in the URL are deliberately not passed on.
  m_context->AddReference();
  m_connection.reset(InternetConnectA(m_internet.get(), parts.host.c_str(), parts.port, nullptr, nullptr,
                                      INTERNET_SERVICE_HTTP, 0, context));
  if (!m_connection) {
    const DWORD error = GetLastError();
    m_context->Release();
    return error;
  }
  if (named) {
    std::string user = m_request.proxyUser;
    std::string password = m_request.proxyPassword;
    InternetSetOptionA(m_connection.get(), INTERNET_OPTION_PROXY_USERNAME, user.data(),
                       static_cast<DWORD>(user.size()));
    InternetSetOptionA(m_connection.get(), INTERNET_OPTION_PROXY_PASSWORD, password.data(),
                       static_cast<DWORD>(password.size()));
  }

  LPCSTR acceptTypes[] = {m_request.accept.c_str(), nullptr};
  m_context->AddReference();
  m_requestHandle.reset(HttpOpenRequestA(m_connection.get(), m_request.method.c_str(), parts.object.c_str(),
                                         m_request.version.c_str(), m_request.referrer.c_str(), acceptTypes,
                                         kRequestFlags | (parts.secure ? SecureRequestFlags() : 0), context));
  if (!m_requestHandle) {
    const DWORD error = GetLastError();
    m_context->Release();
    return error;
  }
  if (parts.secure) {
    DWORD securityFlags = 0;
    DWORD length = sizeof(securityFlags);
    InternetQueryOptionA(m_requestHandle.get(), INTERNET_OPTION_SECURITY_FLAGS, &securityFlags, &length);
    securityFlags |= m_request.extraSecurityFlags;
    InternetSetOptionA(m_requestHandle.get(), INTERNET_OPTION_SECURITY_FLAGS, &securityFlags,
                       sizeof(securityFlags));
    // WinINet pools kept-alive connections by host and port alone, and never checks a pooled
    // connection's certificate again: one reached with relaxed checks must not serve a checked
    // request later. A server asked to close does not keep it open (RFC 9112, 9.6).
    if (!ChecksCertificate()) {
      HttpAddRequestHeadersA(m_requestHandle.get(), "Connection: close", static_cast<DWORD>(-1),
                             HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
    }
  }
  return 0;
}

DWORD HttpAttempt::AwaitCall(DWORD deadline, HANDLE cancel, DWORD timeoutError) {
  HANDLE objects[] = {m_context->Completed(), cancel};
  const DWORD waited = WaitForMultipleObjects(cancel ? 2 : 1, objects, FALSE, MsUntil(deadline));
  if (waited == WAIT_OBJECT_0) {
    m_callPending = false;
    return m_context->CompletionError();
  }
  if (waited == WAIT_TIMEOUT) return timeoutError;
  return waited == WAIT_OBJECT_0 + 1 ? ERROR_INTERNET_OPERATION_CANCELLED : GetLastError();
}

DWORD HttpAttempt::Complete(BOOL started, DWORD deadline, HANDLE cancel, DWORD timeoutError) {
  if (started) return 0;
  const DWORD error = GetLastError();
  if (error != ERROR_IO_PENDING) return error;
  m_callPending = true;
  return AwaitCall(deadline, cancel, timeoutError);
}

DWORD HttpAttempt::WaitAnswered(DWORD deadline, DWORD connectDeadline, HANDLE cancel) {
  if (m_sendError == 0 && m_callPending && m_viaProxy) {
    HANDLE objects[] = {m_context->Completed(), m_context->Connected(), cancel};
    const DWORD waited =
        WaitForMultipleObjects(cancel ? 3 : 2, objects, FALSE, MsUntil(Earlier(deadline, connectDeadline)));
    if (waited == WAIT_TIMEOUT) m_sendError = HasPassed(deadline) ? WSAETIMEDOUT : ERROR_INTERNET_TIMEOUT;
    if (waited == WAIT_OBJECT_0 + 2) m_sendError = ERROR_INTERNET_OPERATION_CANCELLED;
  }
  if (m_sendError == 0 && m_callPending) m_sendError = AwaitCall(deadline, cancel, WSAETIMEDOUT);
  if (m_sendError == 0) m_sendError = QueryStatus(m_requestHandle.get(), m_status);
  if (m_sendError != 0) return m_sendError;
  m_answered = true;
  ReadAnswerHead();
  return 0;
}

void HttpAttempt::ReadAnswerHead() {
  const HINTERNET request = m_requestHandle.get();
  if (m_request.followRedirect) {
    m_followedUrl = RedirectTarget(request, m_status, m_request.url, ChecksCertificate());
  }
  if (m_request.collectCookies) m_cookies = CollectCookies(request);
  m_retryAfter = HeaderText(request, HTTP_QUERY_RETRY_AFTER);
}

// Each piece is asked for only once it is there: a read of a whole buffer would wait for it
// to fill, however slowly the bytes come. A HEAD answer announces a length it has not.
void HttpAttempt::ReadBody(DWORD deadline, HANDLE cancel, size_t cap, size_t kept) {
  const HINTERNET request = m_requestHandle.get();
  for (;;) {
    if (HasPassed(deadline)) {
      m_readError = ERROR_INTERNET_TIMEOUT;
      return;
    }
    m_context->ExpectCompletion();
    m_context->available = 0;
    const BOOL queried = InternetQueryDataAvailable(request, &m_context->available, 0, 0);
    const bool later = !queried && GetLastError() == ERROR_IO_PENDING;
    if ((m_readError = Complete(queried, deadline, cancel, ERROR_INTERNET_TIMEOUT)) != 0) return;
    if (later) continue;  // something arrived: asked again, it answers at once
    if (m_context->available == 0) {
      if (!m_request.head && ShortOfAnnouncedLength(request, m_bodyRead)) {
        m_readError = ERROR_INTERNET_CONNECTION_ABORTED;
      } else {
        m_readToEnd = true;
      }
      return;
    }
    // Only a byte past the cap is over it: an answer of exactly `cap` bytes ends within it.
    if (m_bodyRead >= cap) {
      m_readError = ERROR_FILE_TOO_LARGE;
      return;
    }
    const size_t wanted = std::min<size_t>({m_context->available, AttemptContext::kReadSize, cap - m_bodyRead});
    if ((m_readError = ReadPiece(deadline, cancel, wanted, kept)) != 0) return;
  }
}

DWORD HttpAttempt::ReadPiece(DWORD deadline, HANDLE cancel, size_t wanted, size_t kept) {
  m_context->ExpectCompletion();
  m_context->read = 0;
  const BOOL started = InternetReadFile(m_requestHandle.get(), m_context->buffer, static_cast<DWORD>(wanted),
                                        &m_context->read);
  if (const DWORD error = Complete(started, deadline, cancel, ERROR_INTERNET_TIMEOUT)) return error;
  const size_t read = std::min<size_t>(m_context->read, wanted);
  if (m_response.size() < kept) m_response.append(m_context->buffer, std::min(read, kept - m_response.size()));
  m_bodyRead += read;
  return 0;
}

RouteFacts HttpAttempt::Route() const {
  return {m_viaProxy, m_context && m_context->RequestSent(), m_sendError, m_status};
}

// A call still pending is given up by closing the handles, which returns at once; WinINet
// calls back until their HANDLE_CLOSING, and the context stays for that. An answer not read to
// its end is kept open instead, with nothing pending (unread_requests.h).
void HttpAttempt::End() {
  if (!m_context) return;
  if (m_answered && !m_readToEnd && !m_callPending) {
    KeepUnread(m_requestHandle.release(), m_connection.release(), m_internet.release());
    m_context->Release();  // the request's reference: its HANDLE_CLOSING never comes
    m_context->Release();  // the connection's
  } else {
    m_requestHandle.reset();
    m_connection.reset();
    m_internet.reset();
  }
  m_context->Release();
  m_context = nullptr;
  CountCallbacksLeft();
}
