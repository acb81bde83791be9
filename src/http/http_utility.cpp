#include "http/http_utility.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
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
constexpr DWORD kSecureRequestFlags =
    INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_CERT_CN_INVALID | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID;

// Shared by Execute and the send thread. After a time-out Execute returns while the thread
// may still be inside HttpSendRequestA, so whichever of the two lets go last destroys the
// context. The context owns the whole handle chain: closing a parent closes the request too,
// and a closed handle's value can be handed to a later request, so the thread must never be
// left holding a handle that someone else closed. Members are destroyed in reverse order:
// request, then connection, then internet.
struct HttpSendContext {
  InternetHandle internet;
  InternetHandle connection;
  InternetHandle request;
  std::string headers;
  std::string body;
  DWORD error = 0;  // written by the send thread; read only after the thread has ended
};

// Handed to the send thread, which deletes it.
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

DWORD WINAPI HttpSendThreadProc(LPVOID parameter) noexcept {
  HMODULE moduleReference = nullptr;
  DWORD exitCode = 0;
  {
    // Released before the module reference: the last share may close the handles.
    std::unique_ptr<HttpSendThreadArgs> args(static_cast<HttpSendThreadArgs*>(parameter));
    moduleReference = args->moduleReference;
    exitCode = SendOnContext(*args->context);
  }
  ExitThreadReleasingModule(moduleReference, exitCode);
}

std::string ComponentText(const char* buffer) {
  return std::string(buffer, strnlen(buffer, kComponentSize));
}

}  // namespace

bool CHttpUtility::Execute() {
  m_dwStatusCode = 0;
  m_dwError = 0;
  bool result = false;

  // Declared before the context so that it is closed after the WinINet handles.
  UniqueHandle sendThread;
  auto context = std::make_shared<HttpSendContext>();

  context->internet.reset(InternetOpenA(m_strAgent.c_str(), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  if (!context->internet) {
    m_dwError = GetLastError();
    return false;
  }

  // A URL that cannot be split leaves the buffers empty and fails at a later step.
  char scheme[kComponentSize] = {};
  char host[kComponentSize] = {};
  char userName[kComponentSize] = {};
  char password[kComponentSize] = {};
  char urlPath[kComponentSize] = {};
  char extraInfo[kComponentSize] = {};
  URL_COMPONENTSA components = {};
  components.dwStructSize = sizeof(components);
  components.lpszScheme = scheme;
  components.dwSchemeLength = kComponentSize;
  components.lpszHostName = host;
  components.dwHostNameLength = kComponentSize;
  components.lpszUserName = userName;
  components.dwUserNameLength = kComponentSize;
  components.lpszPassword = password;
  components.dwPasswordLength = kComponentSize;
  components.lpszUrlPath = urlPath;
  components.dwUrlPathLength = kComponentSize;
  components.lpszExtraInfo = extraInfo;
  components.dwExtraInfoLength = kComponentSize;
  InternetCrackUrlA(m_strUrl.c_str(), static_cast<DWORD>(m_strUrl.size()), ICU_DECODE, &components);
  const std::string hostName = ComponentText(host);
  const std::string objectName = ComponentText(urlPath) + ComponentText(extraInfo);

  // Credentials written in the URL are deliberately not passed on.
  context->connection.reset(InternetConnectA(context->internet.get(), hostName.c_str(), components.nPort,
                                             nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (!context->connection) {
    m_dwError = GetLastError();
    return false;
  }

  LPCSTR acceptTypes[] = {m_strAccept.c_str(), nullptr};

  std::string proxyText;
  INTERNET_PROXY_INFO proxy = {};
  if (m_nProxyMode == 0) {
    proxy.dwAccessType = INTERNET_OPEN_TYPE_DIRECT;
  } else if (m_nProxyMode == 2) {
    proxy.dwAccessType = INTERNET_OPEN_TYPE_PROXY;
    proxyText = "https://" + m_strProxyHost + ":" + std::to_string(m_nProxyPort);
    // InternetSetOptionA reads the proxy list as ANSI text, whatever TCHAR is.
    proxy.lpszProxy = reinterpret_cast<LPCTSTR>(proxyText.c_str());
    InternetSetOptionA(context->connection.get(), INTERNET_OPTION_PROXY_USERNAME, m_strProxyUser.data(),
                       static_cast<DWORD>(m_strProxyUser.size()));
    InternetSetOptionA(context->connection.get(), INTERNET_OPTION_PROXY_PASSWORD, m_strProxyPassword.data(),
                       static_cast<DWORD>(m_strProxyPassword.size()));
  } else {
    proxy.dwAccessType = INTERNET_OPEN_TYPE_PRECONFIG;
  }
  InternetSetOptionA(context->internet.get(), INTERNET_OPTION_PROXY, &proxy, sizeof(proxy));

  // Only a lower-case scheme counts; "HTTPS://" goes out as plain http.
  const bool secure = m_strUrl.compare(0, 5, "https") == 0;
  const DWORD requestFlags = secure ? kSecureRequestFlags : 0;
  context->request.reset(HttpOpenRequestA(context->connection.get(), m_strMethod.c_str(), objectName.c_str(),
                                          m_strVersion.c_str(), m_strReferrer.c_str(), acceptTypes,
                                          requestFlags, 0));
  if (!context->request) {
    m_dwError = GetLastError();
    return false;
  }

  if (requestFlags & INTERNET_FLAG_SECURE) {
    DWORD securityFlags = 0;
    DWORD length = sizeof(securityFlags);
    InternetQueryOptionA(context->request.get(), INTERNET_OPTION_SECURITY_FLAGS, &securityFlags, &length);
    securityFlags |= m_dwSecurityFlags;
    InternetSetOptionA(context->request.get(), INTERNET_OPTION_SECURITY_FLAGS, &securityFlags,
                       sizeof(securityFlags));
  }

  context->headers = m_strHeaders;
  context->body = m_strBody;

  // The send runs on its own thread so that it can be given a time limit; the thread keeps
  // the module loaded because it may outlive this call.
  const HMODULE moduleReference = AcquireModuleReference();
  auto* threadArgs = new HttpSendThreadArgs{context, moduleReference};
  sendThread.reset(CreateThread(nullptr, 0, HttpSendThreadProc, threadArgs, 0, nullptr));
  if (!sendThread) {
    m_dwError = GetLastError();
    delete threadArgs;
    if (moduleReference) FreeLibrary(moduleReference);
    return false;
  }

  const DWORD waited = WaitForSingleObject(sendThread.get(), m_dwTimeout);
  if (waited == WAIT_TIMEOUT) {
    m_dwError = WSAETIMEDOUT;
    return false;
  }
  if (waited != WAIT_OBJECT_0) {
    m_dwError = GetLastError();
    return false;
  }
  DWORD exitCode = 0;
  if (!GetExitCodeThread(sendThread.get(), &exitCode)) {
    m_dwError = GetLastError();
    return false;
  }
  if (exitCode == 0) {
    m_dwError = context->error;
    return false;
  }

  HINTERNET request = context->request.get();
  DWORD statusCode = 0;
  DWORD statusLength = sizeof(statusCode);
  DWORD statusIndex = 0;
  if (HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &statusCode, &statusLength,
                     &statusIndex)) {
    m_dwStatusCode = statusCode;
  } else {
    m_dwError = GetLastError();
  }

  if (m_bCollectCookies) {
    m_strCookies.clear();
    std::vector<char> cookie(kCookieBufferSize);
    DWORD index = 0;  // advanced by each successful query
    for (;;) {
      std::fill(cookie.begin(), cookie.end(), '\0');
      DWORD length = kCookieQuerySize;
      if (!HttpQueryInfoA(request, HTTP_QUERY_SET_COOKIE, cookie.data(), &length, &index)) break;
      if (!m_strCookies.empty()) m_strCookies += L';';
      m_strCookies += MultiByteToWide(cookie.data(), static_cast<int>(strnlen(cookie.data(), cookie.size())),
                                      CP_ACP);
    }
  }

  char buffer[kReadSize];
  for (;;) {
    DWORD read = 0;
    if (!InternetReadFile(request, buffer, kReadSize, &read)) break;
    if (read == 0) {
      result = true;
      break;
    }
    m_strResponse.append(buffer, read);
  }
  m_nResponseLength = static_cast<int32_t>(m_strResponse.size());
  HttpEndRequestA(request, nullptr, 0, 0);
  return result;
}
