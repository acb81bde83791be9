#include "http/http_attempt.h"

#include <wininet.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "common/internet_handle.h"
#include "common/module_reference.h"
#include "http/text_conversion.h"
#include "http/unread_requests.h"
#include "http/url_rules.h"

namespace {

constexpr DWORD kComponentSize = 1024;
constexpr DWORD kReadSize = 1024;
constexpr DWORD kCookieBufferSize = 4096;
constexpr DWORD kCookieQuerySize = 2048;
constexpr DWORD kUrlBufferSize = 4096;
constexpr DWORD kSecureRequestFlags =
    INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_CERT_CN_INVALID | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID;
// WinINet would repeat a POST answered 301/302/303 as a GET without the body and report the
// final status as if the report had been taken; 307/308 are followed by the caller instead.
// An installer must never show WinINet's dialogs (certificates, proxy credentials).
constexpr DWORD kRequestFlags = INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_UI;
// Reading the answer: the time from its headers after which no further piece is asked for,
// and the most bytes kept. The caller gives up on a thread stuck inside one WinINet call
// shortly after the deadline.
constexpr DWORD kReadDeadlineMs = 5000;
constexpr DWORD kReadGraceMs = 100;
constexpr size_t kResponseCap = 1024 * 1024;

bool HasPassed(DWORD deadline) { return static_cast<LONG>(GetTickCount() - deadline) >= 0; }

// One millisecond more than the ticks left: a limit is what the server is granted, so a wait
// ends a tick late rather than early.
DWORD MsUntil(DWORD deadline) {
  const LONG left = static_cast<LONG>(deadline - GetTickCount());
  return left > 0 ? static_cast<DWORD>(left) + 1 : 0;
}

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

}  // namespace

// One request's handles, declared so that they are destroyed request first.
struct HandleChain {
  InternetHandle internet;
  InternetHandle connection;
  InternetHandle request;
};

struct HttpAttemptState {
  HttpAttemptRequest request;
  UniqueHandle answered;  // manual reset: the send has returned

  // Written by the thread before it signals `answered`; read by the caller after.
  DWORD sendError = 0;
  uint32_t status = 0;
  std::string followedUrl;
  std::wstring cookies;
  std::string retryAfter;
  DWORD readDeadline = 0;
  bool viaProxy = false;  // set before the thread starts

  // Shared while the thread runs. Whoever takes the handles first (the thread when it is
  // done, or Abandon) closes or keeps them; the thread touches none once abandoned.
  std::mutex lock;
  bool abandoned = false;
  InternetHandle internet;
  InternetHandle connection;
  InternetHandle requestHandle;
  HINTERNET requestValue = nullptr;
  std::string response;
  bool readToEnd = false;
  DWORD readError = 0;

  // The handles, out of the state; called under the lock.
  HandleChain TakeHandles() { return {std::move(internet), std::move(connection), std::move(requestHandle)}; }

  // The request handle for the thread's next call, or null once abandoned.
  HINTERNET Live() {
    std::lock_guard<std::mutex> guard(lock);
    return abandoned ? nullptr : requestHandle.get();
  }

  // Appends a piece of the body; false once abandoned.
  bool Append(const char* data, DWORD size) {
    std::lock_guard<std::mutex> guard(lock);
    if (abandoned) return false;
    response.append(data, size);
    return true;
  }

  // The thread's last step: a request read to its end is closed, request first; any other
  // is kept open rather than drained.
  void Finish(bool toEnd, DWORD error) {
    HandleChain handles;
    {
      std::lock_guard<std::mutex> guard(lock);
      if (abandoned) return;
      readToEnd = toEnd;
      readError = error;
      handles = TakeHandles();
    }
    if (toEnd || sendError != 0) return;  // closed here
    KeepUnread(handles.request.release(), handles.connection.release(), handles.internet.release());
  }
};

namespace {

struct AttemptThreadArgs {
  std::shared_ptr<HttpAttemptState> state;
  HMODULE moduleReference;
};

DWORD AccessType(int32_t proxyMode) {
  if (proxyMode == 0) return INTERNET_OPEN_TYPE_DIRECT;
  return proxyMode == 2 ? INTERNET_OPEN_TYPE_PROXY : INTERNET_OPEN_TYPE_PRECONFIG;
}

// Whether the session goes through a proxy, as the system's settings or the caller set it.
bool SessionUsesProxy(HINTERNET internet) {
  DWORD size = 0;
  InternetQueryOptionA(internet, INTERNET_OPTION_PROXY, nullptr, &size);
  if (size < sizeof(INTERNET_PROXY_INFO)) return false;
  std::vector<char> buffer(size);
  if (!InternetQueryOptionA(internet, INTERNET_OPTION_PROXY, buffer.data(), &size)) return false;
  return reinterpret_cast<const INTERNET_PROXY_INFO*>(buffer.data())->dwAccessType == INTERNET_OPEN_TYPE_PROXY;
}

// Opens internet, connection and request into `state`; 0, or the error of the step that
// failed (the handles opened before it stay with the state).
DWORD OpenHandles(HttpAttemptState& state) {
  const HttpAttemptRequest& request = state.request;
  const bool named = request.proxyMode == 2;
  state.internet.reset(InternetOpenA(request.agent.c_str(), AccessType(request.proxyMode),
                                     named ? request.proxy.c_str() : nullptr, nullptr, 0));
  if (!state.internet) return GetLastError();
  state.viaProxy = request.proxyMode != 0 && SessionUsesProxy(state.internet.get());

  const UrlParts parts = SplitUrl(request.url);
  if (parts.host.empty()) return ERROR_INTERNET_INVALID_URL;
  // Credentials written in the URL are deliberately not passed on.
  state.connection.reset(InternetConnectA(state.internet.get(), parts.host.c_str(), parts.port, nullptr, nullptr,
                                          INTERNET_SERVICE_HTTP, 0, 0));
  if (!state.connection) return GetLastError();
  if (named) {
    std::string user = request.proxyUser;
    std::string password = request.proxyPassword;
    InternetSetOptionA(state.connection.get(), INTERNET_OPTION_PROXY_USERNAME, user.data(),
                       static_cast<DWORD>(user.size()));
    InternetSetOptionA(state.connection.get(), INTERNET_OPTION_PROXY_PASSWORD, password.data(),
                       static_cast<DWORD>(password.size()));
  }

  LPCSTR acceptTypes[] = {request.accept.c_str(), nullptr};
  state.requestHandle.reset(HttpOpenRequestA(state.connection.get(), request.method.c_str(), parts.object.c_str(),
                                             request.version.c_str(), request.referrer.c_str(), acceptTypes,
                                             kRequestFlags | (parts.secure ? kSecureRequestFlags : 0), 0));
  if (!state.requestHandle) return GetLastError();
  state.requestValue = state.requestHandle.get();

  if (parts.secure) {
    DWORD securityFlags = 0;
    DWORD length = sizeof(securityFlags);
    InternetQueryOptionA(state.requestValue, INTERNET_OPTION_SECURITY_FLAGS, &securityFlags, &length);
    securityFlags |= request.extraSecurityFlags;
    InternetSetOptionA(state.requestValue, INTERNET_OPTION_SECURITY_FLAGS, &securityFlags, sizeof(securityFlags));
  }
  // Bounds each wait for data, the answer's first bytes included; under Wine it only takes
  // effect when set before the send.
  DWORD receiveWait = request.receiveTimeoutMs;
  InternetSetOptionA(state.requestValue, INTERNET_OPTION_RECEIVE_TIMEOUT, &receiveWait, sizeof(receiveWait));
  return 0;
}

// 0, or why the answer has no status: then it is no HTTP answer at all. Under Wine, a new
// connection reset before any answer "succeeds" with status 0.
DWORD QueryStatus(HINTERNET request, uint32_t& status) {
  DWORD code = 0;
  DWORD length = sizeof(code);
  DWORD index = 0;
  if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &length, &index)) {
    const DWORD error = GetLastError();
    return error != 0 ? error : ERROR_HTTP_INVALID_SERVER_RESPONSE;
  }
  if (code == 0) return ERROR_HTTP_INVALID_SERVER_RESPONSE;
  status = code;
  return 0;
}

// Where a 307 or 308 answer sends the same request, resolved against `url`; empty when the
// request is not to be repeated there.
std::string FollowedUrl(HINTERNET request, uint32_t status, const std::string& url) {
  if (status != 307 && status != 308) return {};
  std::vector<char> location(kUrlBufferSize);
  DWORD length = kUrlBufferSize - 1;
  DWORD index = 0;
  if (!HttpQueryInfoA(request, HTTP_QUERY_LOCATION, location.data(), &length, &index) || length == 0) return {};
  std::vector<char> combined(kUrlBufferSize);
  length = kUrlBufferSize;
  if (!InternetCombineUrlA(url.c_str(), location.data(), combined.data(), &length, ICU_NO_ENCODE)) return {};
  std::string next = WithoutFragment(std::string(combined.data(), strnlen(combined.data(), combined.size())));
  return IsFollowableUrl(next, kComponentSize) ? next : std::string();
}

std::string HeaderText(HINTERNET request, DWORD header) {
  char text[256] = {};
  DWORD length = sizeof(text) - 1;
  DWORD index = 0;
  if (!HttpQueryInfoA(request, header, text, &length, &index)) return {};
  return std::string(text, strnlen(text, sizeof(text)));
}

std::wstring CollectCookies(HINTERNET request) {
  std::wstring cookies;
  std::vector<char> cookie(kCookieBufferSize);
  DWORD index = 0;  // advanced by each successful query
  for (;;) {
    std::fill(cookie.begin(), cookie.end(), '\0');
    DWORD length = kCookieQuerySize;
    if (!HttpQueryInfoA(request, HTTP_QUERY_SET_COOKIE, cookie.data(), &length, &index)) break;
    if (!cookies.empty()) cookies += L';';
    cookies += MultiByteToWide(cookie.data(), static_cast<int>(strnlen(cookie.data(), cookie.size())), CP_ACP);
  }
  return cookies;
}

// WinINet takes a close of the connection for the end of the body, even before the length
// that the answer announced.
bool ShortOfAnnouncedLength(HINTERNET request, size_t received) {
  const std::string length = HeaderText(request, HTTP_QUERY_CONTENT_LENGTH);
  return !length.empty() && received < std::strtoull(length.c_str(), nullptr, 10);
}

// Reads the body into the state until its end, the deadline, the cap or an abandon; true
// only at its end. Each piece is asked for only once it is there: a read of a whole buffer
// would wait for it to fill, however slowly the bytes come. A HEAD answer announces a
// length it has not.
bool ReadAnswer(HttpAttemptState& state, DWORD& error) {
  size_t kept = 0;
  char buffer[kReadSize];
  for (;;) {
    if (kept >= kResponseCap) {
      error = ERROR_FILE_TOO_LARGE;
      return false;
    }
    if (HasPassed(state.readDeadline)) {
      error = ERROR_INTERNET_TIMEOUT;
      return false;
    }
    HINTERNET request = state.Live();
    if (!request) return false;
    DWORD available = 0;
    if (!InternetQueryDataAvailable(request, &available, 0, 0)) {
      error = GetLastError();
      return false;
    }
    DWORD read = 0;
    if (available > 0) {
      if (!(request = state.Live())) return false;
      const DWORD wanted = static_cast<DWORD>(std::min<size_t>({available, kReadSize, kResponseCap - kept}));
      if (!InternetReadFile(request, buffer, wanted, &read)) {
        error = GetLastError();
        return false;
      }
    }
    if (read == 0) {
      if (!(request = state.Live())) return false;
      if (!state.request.head && ShortOfAnnouncedLength(request, kept)) {
        error = ERROR_INTERNET_CONNECTION_ABORTED;
        return false;
      }
      return true;
    }
    if (!state.Append(buffer, read)) return false;
    kept += read;
  }
}

void RunAttempt(HttpAttemptState& state) {
  const HttpAttemptRequest& request = state.request;
  HINTERNET handle = state.Live();
  if (!handle) return;
  if (!HttpSendRequestA(handle, request.headers.data(), static_cast<DWORD>(request.headers.size()),
                        const_cast<char*>(request.body.data()), static_cast<DWORD>(request.body.size()))) {
    state.sendError = GetLastError();
  } else if ((handle = state.Live())) {
    state.sendError = QueryStatus(handle, state.status);
  }
  if (state.sendError != 0) {
    SetEvent(state.answered.get());
    state.Finish(false, 0);
    return;
  }
  if ((handle = state.Live())) {
    if (request.followRedirect) state.followedUrl = FollowedUrl(handle, state.status, request.url);
    if (request.collectCookies) state.cookies = CollectCookies(handle);
    state.retryAfter = HeaderText(handle, HTTP_QUERY_RETRY_AFTER);
  }
  // A redirect's own body must be read within the send limit, since the report goes on.
  state.readDeadline = state.followedUrl.empty() ? GetTickCount() + kReadDeadlineMs : request.sendDeadline;
  SetEvent(state.answered.get());

  DWORD error = 0;
  const bool toEnd = ReadAnswer(state, error);
  state.Finish(toEnd, error);
}

DWORD WINAPI AttemptThreadProc(LPVOID parameter) noexcept {
  HMODULE moduleReference = nullptr;
  {
    std::unique_ptr<AttemptThreadArgs> args(static_cast<AttemptThreadArgs*>(parameter));
    moduleReference = args->moduleReference;
    RunAttempt(*args->state);
  }
  ExitThreadReleasingModule(moduleReference, 0);
}

// Waits for `object` until `deadline` or `cancel`: WAIT_OBJECT_0, WAIT_TIMEOUT, or
// WAIT_OBJECT_0 + 1 for the cancel.
DWORD WaitUntil(HANDLE object, DWORD deadline, HANDLE cancel) {
  HANDLE objects[] = {object, cancel};
  return WaitForMultipleObjects(cancel ? 2 : 1, objects, FALSE, MsUntil(deadline));
}

}  // namespace

HttpAttempt::HttpAttempt() : m_state(std::make_shared<HttpAttemptState>()) {}

HttpAttempt::~HttpAttempt() = default;

DWORD HttpAttempt::Start(HttpAttemptRequest request) {
  m_state->request = std::move(request);
  m_state->answered.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!m_state->answered) return GetLastError();
  if (const DWORD error = OpenHandles(*m_state)) return error;

  const HMODULE moduleReference = AcquireModuleReference();
  auto* args = new AttemptThreadArgs{m_state, moduleReference};
  m_thread.reset(CreateThread(nullptr, 0, AttemptThreadProc, args, 0, nullptr));
  if (!m_thread) {
    const DWORD error = GetLastError();
    delete args;
    if (moduleReference) FreeLibrary(moduleReference);
    return error;
  }
  return 0;
}

DWORD HttpAttempt::WaitAnswered(DWORD deadline, HANDLE cancel) {
  const DWORD waited = WaitUntil(m_state->answered.get(), deadline, cancel);
  if (waited == WAIT_OBJECT_0) return 0;
  Abandon();
  if (waited == WAIT_TIMEOUT) return WSAETIMEDOUT;
  return waited == WAIT_OBJECT_0 + 1 ? ERROR_INTERNET_OPERATION_CANCELLED : GetLastError();
}

void HttpAttempt::WaitRead(HANDLE cancel) {
  const DWORD waited = WaitUntil(m_thread.get(), m_state->readDeadline + kReadGraceMs, cancel);
  if (waited == WAIT_OBJECT_0) return;
  Abandon();
  std::lock_guard<std::mutex> guard(m_state->lock);
  m_state->readError = waited == WAIT_OBJECT_0 + 1 ? ERROR_INTERNET_OPERATION_CANCELLED : ERROR_INTERNET_TIMEOUT;
}

void HttpAttempt::Abandon() {
  HandleChain handles;  // closed on leaving, after the lock
  {
    std::lock_guard<std::mutex> guard(m_state->lock);
    m_state->abandoned = true;
    handles = m_state->TakeHandles();
  }
}

DWORD HttpAttempt::SendError() const { return m_state->sendError; }
uint32_t HttpAttempt::Status() const { return m_state->status; }
std::string HttpAttempt::FollowedUrl() const { return m_state->followedUrl; }
std::wstring HttpAttempt::Cookies() const { return m_state->cookies; }
std::string HttpAttempt::RetryAfter() const { return m_state->retryAfter; }
bool HttpAttempt::ViaProxy() const { return m_state->viaProxy; }

bool HttpAttempt::ReadToEnd() const {
  std::lock_guard<std::mutex> guard(m_state->lock);
  return m_state->readToEnd;
}

DWORD HttpAttempt::ReadError() const {
  std::lock_guard<std::mutex> guard(m_state->lock);
  return m_state->readError;
}

std::string HttpAttempt::Response() const {
  std::lock_guard<std::mutex> guard(m_state->lock);
  return m_state->response;
}

HINTERNET HttpAttempt::RequestHandle() const { return m_state->requestValue; }
