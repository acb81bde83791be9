#include "http/http_utility.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "common/internet_handle.h"
#include "common/module_reference.h"
#include "common/unique_handle.h"
#include "http/text_conversion.h"

namespace {

constexpr DWORD kComponentSize = 1024;
constexpr DWORD kReadSize = 1024;
constexpr DWORD kCookieBufferSize = 4096;
constexpr DWORD kCookieQuerySize = 2048;
constexpr DWORD kUrlBufferSize = 4096;
constexpr DWORD kSecureRequestFlags =
    INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_CERT_CN_INVALID | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID;
// WinINet would repeat a POST answered 301/302/303 as a GET without the body and report the
// final status as if the report had been taken; 307/308 are followed here instead.
constexpr DWORD kRequestFlags = INTERNET_FLAG_NO_AUTO_REDIRECT;
constexpr int kMaxFollows = 3;
// Limits of reading the answer, so that no server can hold the worker: the longest wait for
// any piece, the time after which no further piece is asked for, and the most bytes kept.
constexpr DWORD kReadWaitMs = 5000;
constexpr DWORD kReadDeadlineMs = 5000;
constexpr size_t kResponseCap = 1024 * 1024;

// Shared by Execute and the thread that sends on it (or, for a body left unread, closes it).
// After a time-out Execute returns while the send thread may still be inside
// HttpSendRequestA, so whichever of the two lets go last destroys the context. The context
// owns the whole handle chain: closing a parent closes the request too, and a closed
// handle's value can be handed to a later request, so the thread must never be left holding
// a handle that someone else closed. Members are destroyed in reverse order: request, then
// connection, then internet.
struct HttpSendContext {
  InternetHandle internet;
  InternetHandle connection;
  InternetHandle request;
  std::string headers;
  std::string body;
  DWORD error = 0;  // written by the send thread; read only after the thread has ended
};

// Handed to a thread that works on the context, which deletes it.
struct HttpSendThreadArgs {
  std::shared_ptr<HttpSendContext> context;
  HMODULE moduleReference;
};

DWORD SendOnContext(HttpSendContext& context) noexcept {
  if (HttpSendRequestA(context.request.get(), context.headers.data(),
                       static_cast<DWORD>(context.headers.size()), context.body.data(),
                       static_cast<DWORD>(context.body.size()))) {
    context.error = 0;
    return 1;
  }
  context.error = GetLastError();
  return 0;
}

// A thread working on a context: runs `work`, lets go of its share (the last share closes the
// handles), then ends, releasing its module reference.
[[noreturn]] void RunOnContext(LPVOID parameter, DWORD (*work)(HttpSendContext&) noexcept) noexcept {
  HMODULE moduleReference = nullptr;
  DWORD exitCode = 0;
  {
    std::unique_ptr<HttpSendThreadArgs> args(static_cast<HttpSendThreadArgs*>(parameter));
    moduleReference = args->moduleReference;
    exitCode = work(*args->context);
  }
  ExitThreadReleasingModule(moduleReference, exitCode);
}

DWORD WINAPI HttpSendThreadProc(LPVOID parameter) noexcept { RunOnContext(parameter, SendOnContext); }

DWORD WINAPI HttpCloseThreadProc(LPVOID parameter) noexcept {
  RunOnContext(parameter, [](HttpSendContext&) noexcept -> DWORD { return 0; });
}

// Starts `proc` on a new thread with a share of the context and a reference that keeps the
// module loaded, since the thread may outlive Execute. Null (last error set) when no thread
// could be made; the share handed over is then dropped at once.
UniqueHandle StartContextThread(LPTHREAD_START_ROUTINE proc, std::shared_ptr<HttpSendContext> context) {
  const HMODULE moduleReference = AcquireModuleReference();
  auto* threadArgs = new HttpSendThreadArgs{std::move(context), moduleReference};
  UniqueHandle thread(CreateThread(nullptr, 0, proc, threadArgs, 0, nullptr));
  if (!thread) {
    const DWORD error = GetLastError();
    delete threadArgs;
    if (moduleReference) FreeLibrary(moduleReference);
    SetLastError(error);
  }
  return thread;
}

std::string ComponentText(const char* buffer) {
  return std::string(buffer, strnlen(buffer, kComponentSize));
}

struct UrlParts {
  std::string host;
  INTERNET_PORT port = 0;
  std::string object;  // path and query, escapes kept as written
};

// One text component of the split: a zero-filled buffer, offered whole.
struct UrlComponent {
  char text[kComponentSize] = {};
  void OfferTo(LPSTR& field, DWORD& length) {
    field = text;
    length = kComponentSize;
  }
};

// A URL that cannot be split leaves the parts empty and fails at a later step. The scheme,
// user name and password are not used.
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
  return {ComponentText(host.text), components.nPort, ComponentText(urlPath.text) + ComponentText(extraInfo.text)};
}

void SetProxy(const CHttpUtility& http, HttpSendContext& context) {
  std::string proxyText;
  INTERNET_PROXY_INFO proxy = {};
  if (http.m_nProxyMode == 0) {
    proxy.dwAccessType = INTERNET_OPEN_TYPE_DIRECT;
  } else if (http.m_nProxyMode == 2) {
    proxy.dwAccessType = INTERNET_OPEN_TYPE_PROXY;
    proxyText = "https://" + http.m_strProxyHost + ":" + std::to_string(http.m_nProxyPort);
    // InternetSetOptionA reads the proxy list as ANSI text, whatever TCHAR is.
    proxy.lpszProxy = reinterpret_cast<LPCTSTR>(proxyText.c_str());
    std::string user = http.m_strProxyUser;
    std::string password = http.m_strProxyPassword;
    InternetSetOptionA(context.connection.get(), INTERNET_OPTION_PROXY_USERNAME, user.data(),
                       static_cast<DWORD>(user.size()));
    InternetSetOptionA(context.connection.get(), INTERNET_OPTION_PROXY_PASSWORD, password.data(),
                       static_cast<DWORD>(password.size()));
  } else {
    proxy.dwAccessType = INTERNET_OPEN_TYPE_PRECONFIG;
  }
  InternetSetOptionA(context.internet.get(), INTERNET_OPTION_PROXY, &proxy, sizeof(proxy));
}

// Opens internet, connection and request for `url` into `context`; returns 0, or the error
// of the step that failed (the handles opened before it stay with the context).
DWORD OpenHandles(const CHttpUtility& http, const std::string& url, HttpSendContext& context) {
  context.internet.reset(InternetOpenA(http.m_strAgent.c_str(), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  if (!context.internet) return GetLastError();

  const UrlParts parts = SplitUrl(url);
  // Credentials written in the URL are deliberately not passed on.
  context.connection.reset(InternetConnectA(context.internet.get(), parts.host.c_str(), parts.port, nullptr,
                                            nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (!context.connection) return GetLastError();
  SetProxy(http, context);

  // Only a lower-case scheme counts; "HTTPS://" goes out as plain http.
  const bool secure = url.compare(0, 5, "https") == 0;
  LPCSTR acceptTypes[] = {http.m_strAccept.c_str(), nullptr};
  context.request.reset(HttpOpenRequestA(context.connection.get(), http.m_strMethod.c_str(), parts.object.c_str(),
                                         http.m_strVersion.c_str(), http.m_strReferrer.c_str(), acceptTypes,
                                         kRequestFlags | (secure ? kSecureRequestFlags : 0), 0));
  if (!context.request) return GetLastError();

  if (secure) {
    DWORD securityFlags = 0;
    DWORD length = sizeof(securityFlags);
    InternetQueryOptionA(context.request.get(), INTERNET_OPTION_SECURITY_FLAGS, &securityFlags, &length);
    securityFlags |= http.m_dwSecurityFlags;
    InternetSetOptionA(context.request.get(), INTERNET_OPTION_SECURITY_FLAGS, &securityFlags,
                       sizeof(securityFlags));
  }
  // Bounds every wait for data, the answer's first bytes included, so it must not be shorter
  // than the send limit; under Wine it only takes effect when set before the send.
  DWORD receiveWait = std::max(kReadWaitMs, static_cast<DWORD>(http.m_dwTimeout));
  InternetSetOptionA(context.request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &receiveWait, sizeof(receiveWait));

  context.headers = http.m_strHeaders;
  context.body = http.m_strBody;
  return 0;
}

// Sends on a thread of its own, waiting for it at most `limitMs`; returns 0 or the error.
DWORD SendWithinLimit(const std::shared_ptr<HttpSendContext>& context, DWORD limitMs, UniqueHandle& sendThread) {
  sendThread = StartContextThread(HttpSendThreadProc, context);
  if (!sendThread) return GetLastError();
  const DWORD waited = WaitForSingleObject(sendThread.get(), limitMs);
  if (waited == WAIT_TIMEOUT) return WSAETIMEDOUT;
  if (waited != WAIT_OBJECT_0) return GetLastError();
  DWORD exitCode = 0;
  if (!GetExitCodeThread(sendThread.get(), &exitCode)) return GetLastError();
  return exitCode == 0 ? context->error : 0;
}

// Closing a request whose body was left unread makes WinINet read the rest of it for as long
// as bytes keep coming, up to the announced length: that happens on a thread of its own.
// Called once the send thread has ended, with the last share of the context.
void CloseUnread(std::shared_ptr<HttpSendContext> context) {
  StartContextThread(HttpCloseThreadProc, std::move(context));
}

// Returns 0, or the error of a failed query (the status then stays as it was).
DWORD QueryStatus(HINTERNET request, uint32_t& status) {
  DWORD code = 0;
  DWORD length = sizeof(code);
  DWORD index = 0;
  if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &length, &index)) {
    return GetLastError();
  }
  status = code;
  return 0;
}

// The URL that a 307 or 308 answer sends the same request to, resolved against `url`;
// empty when the request is not to be repeated.
std::string FollowedUrl(HINTERNET request, DWORD status, const std::string& url) {
  if (status != 307 && status != 308) return {};
  std::vector<char> location(kUrlBufferSize);
  DWORD length = kUrlBufferSize - 1;
  DWORD index = 0;
  if (!HttpQueryInfoA(request, HTTP_QUERY_LOCATION, location.data(), &length, &index) || length == 0) return {};
  std::vector<char> combined(kUrlBufferSize);
  length = kUrlBufferSize;
  if (!InternetCombineUrlA(url.c_str(), location.data(), combined.data(), &length, ICU_NO_ENCODE)) return {};
  return std::string(combined.data(), strnlen(combined.data(), combined.size()));
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
  char text[32] = {};
  DWORD length = sizeof(text) - 1;
  DWORD index = 0;
  if (!HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, text, &length, &index)) return false;
  return received < std::strtoull(text, nullptr, 10);
}

// Appends the body to `response` within the read limits; true only when it was read to its
// end. Each piece is asked for only once it is there: a read of a whole buffer would wait
// for it to fill, however slowly the bytes come. A HEAD answer announces a length it has not.
bool ReadAnswer(HINTERNET request, bool head, std::string& response, uint32_t& error) {
  const DWORD started = GetTickCount();
  size_t kept = 0;
  char buffer[kReadSize];
  for (;;) {
    if (kept >= kResponseCap) {
      error = ERROR_FILE_TOO_LARGE;
      return false;
    }
    if (GetTickCount() - started >= kReadDeadlineMs) {
      error = ERROR_INTERNET_TIMEOUT;
      return false;
    }
    DWORD available = 0;
    if (!InternetQueryDataAvailable(request, &available, 0, 0)) return false;
    DWORD read = 0;
    if (available > 0 && !InternetReadFile(request, buffer, std::min(available, kReadSize), &read)) return false;
    if (read == 0 && !head && ShortOfAnnouncedLength(request, kept)) {
      error = ERROR_INTERNET_CONNECTION_ABORTED;
      return false;
    }
    if (read == 0) return true;
    response.append(buffer, read);
    kept += read;
  }
}

}  // namespace

bool CHttpUtility::Execute() {
  m_dwStatusCode = 0;
  m_dwError = 0;
  const DWORD sendStarted = GetTickCount();
  std::string url = m_strUrl;
  for (int follows = 0;; ++follows) {
    // Declared before the context so that it is closed after the WinINet handles.
    UniqueHandle sendThread;
    auto context = std::make_shared<HttpSendContext>();
    m_dwError = OpenHandles(*this, url, *context);
    if (m_dwError != 0) return false;
    const DWORD spent = GetTickCount() - sendStarted;
    m_dwError = SendWithinLimit(context, spent < m_dwTimeout ? m_dwTimeout - spent : 0, sendThread);
    if (m_dwError != 0) return false;

    HINTERNET request = context->request.get();
    m_dwError = QueryStatus(request, m_dwStatusCode);
    std::string next = follows < kMaxFollows ? FollowedUrl(request, m_dwStatusCode, url) : std::string();
    if (!next.empty()) {
      url = std::move(next);
      m_dwStatusCode = 0;
      CloseUnread(std::move(context));  // the redirect's own body is not read
      continue;
    }

    if (m_bCollectCookies) m_strCookies = CollectCookies(request);
    const bool result = ReadAnswer(request, m_strMethod == "HEAD", m_strResponse, m_dwError);
    m_nResponseLength = static_cast<int32_t>(m_strResponse.size());
    if (!result) CloseUnread(std::move(context));
    return result;
  }
}
