#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "text/wide_string.h"

// One HTTP request over WinINet: the caller sets the settings fields, calls Execute once and
// reads the outcome fields (m_strResponse, m_nResponseLength, m_dwStatusCode, m_dwError,
// m_strCookies). Texts are byte strings handed to the A functions as they are.
class CHttpUtility {
 public:
  CHttpUtility() = default;
  CHttpUtility(const CHttpUtility&) = delete;
  CHttpUtility& operator=(const CHttpUtility&) = delete;
  virtual ~CHttpUtility() = default;

  // Sends the request, giving the send m_dwTimeout ms, then reads the body within the read
  // limits (over 5 s after the headers came, 1 MiB): whatever the server does, it returns
  // within m_dwTimeout + 5 s and a few milliseconds. The URL's fragment is never sent.
  // Redirects are not followed, except 307 and 308 to http and https URLs, which are
  // repeated with the same method, headers and body at most 3 times within the same send
  // limit; a request whose certificate is checked never goes on from https to http. With m_nProxyMode other than 0 and 2 the system's internet settings apply. A
  // proxy gets half the send limit to take the connection; when it never had the request
  // (not resolved, refused, dropped or not reached in time) or wants credentials (407), the
  // request goes directly with what is left of the limit. A request that got no answer
  // because its connection was reset or closed is sent once more at once on a new
  // connection, the same way. When m_hCancelEvent is signalled, the request is given up at
  // once (12017). A URL of another scheme than http or https is refused (12006).
  // True only when the body was read to its end; an HTTP error status is not a failure.
  // Appends to m_strResponse; m_dwStatusCode and m_dwError start again from 0.
  bool Execute();

  std::string m_strAgent;
  int32_t m_nProxyMode = 0;  // 0 direct, 2 the proxy below, other values the system settings
  std::string m_strProxyHost;
  int32_t m_nProxyPort = 0;
  std::string m_strProxyUser;
  std::string m_strProxyPassword;
  std::string m_strUrl;
  std::string m_strHeaders = "\r\n\r\n";
  std::string m_strMethod = "POST";
  std::string m_strVersion = "HTTP/1.1";
  std::string m_strReferrer;
  std::string m_strAccept = "*/*";
  std::string m_strBody;
  std::string m_strResponse;
  int32_t m_nResponseLength = 0;
  size_t m_nResponseKept = 1024 * 1024;  // bytes of the body kept; the rest is read and discarded
  uint32_t m_dwSecurityFlags = 0;  // ORed into an https request's security flags
  uint32_t m_dwStatusCode = 0;
  uint32_t m_dwError = 0;          // Windows/WinINet error code, or 10060 when the send timed out
  uint32_t m_dwTimeout = 5000;     // ms allowed for the send, redirects followed included
  HANDLE m_hCancelEvent = nullptr;  // not owned
  bool m_bCollectCookies = false;
  WideString m_strCookies;       // Set-Cookie values joined by ";"
  std::string m_strRetryAfter;     // the answer's Retry-After header, if any
  bool m_bViaProxy = false;        // the last try went through a proxy
};
