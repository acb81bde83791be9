#include "http/answer_head.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "http/text_conversion.h"
#include "http/url_rules.h"

namespace {

constexpr DWORD kUrlBufferSize = 4096;
constexpr DWORD kComponentSize = 1024;  // a followed URL must fit the request's buffers
constexpr DWORD kCookieBufferSize = 4096;
constexpr DWORD kCookieQuerySize = 2048;

}  // namespace

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

std::string RedirectTarget(HINTERNET request, uint32_t status, const std::string& url, bool certificateChecked) {
  if (status != 307 && status != 308) return {};
  std::vector<char> location(kUrlBufferSize);
  DWORD length = kUrlBufferSize - 1;
  DWORD index = 0;
  if (!HttpQueryInfoA(request, HTTP_QUERY_LOCATION, location.data(), &length, &index) || length == 0) return {};
  std::vector<char> combined(kUrlBufferSize);
  length = kUrlBufferSize;
  if (!InternetCombineUrlA(url.c_str(), location.data(), combined.data(), &length, ICU_NO_ENCODE)) return {};
  std::string next = WithoutFragment(std::string(combined.data(), strnlen(combined.data(), combined.size())));
  const bool httpsOnly = certificateChecked && SchemeOf(url) == UrlScheme::Https;
  return IsFollowableUrl(next, kComponentSize, httpsOnly) ? next : std::string();
}

std::string HeaderText(HINTERNET request, DWORD header) {
  char text[256] = {};
  DWORD length = sizeof(text) - 1;
  DWORD index = 0;
  if (!HttpQueryInfoA(request, header, text, &length, &index)) return {};
  return std::string(text, strnlen(text, sizeof(text)));
}

WideString CollectCookies(HINTERNET request) {
  WideString cookies;
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

bool ShortOfAnnouncedLength(HINTERNET request, size_t received) {
  const std::string length = HeaderText(request, HTTP_QUERY_CONTENT_LENGTH);
  std::uint64_t announced = 0;
  for (const char c : length) {
    if (c < '0' || c > '9') break;
    // A length past 2^64 - 1 is more than ever arrives.
    if (announced > (UINT64_MAX - 9) / 10) return true;
    announced = announced * 10 + static_cast<unsigned>(c - '0');
  }
  return received < announced;
}
