#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Header pairs in the order they go out, each as name ": " value "\r\n".
using HttpHeaderList = std::vector<std::pair<std::string, std::string>>;

// What a caller that may try again needs besides the status.
struct HttpFailureDetails {
  uint32_t error = 0;      // Windows/WinINet error code, 0 when none
  std::string retryAfter;  // the answer's Retry-After header, empty if none
  bool viaProxy = false;   // the last try went through a proxy
};

// How a request treats the server's certificate and its answer.
struct HttpSendOptions {
  // Checks the certificate's authority, host name and dates; revocation is not checked
  // online. Without it, those failures are ignored.
  bool checkCertificates = false;
  // Bytes of the answer kept for the caller; the rest is read and discarded, up to 1 MiB, so
  // that the connection can serve the next request.
  size_t responseKept = 1024 * 1024;
};

// Runs one request and re-encodes the response body from UTF-8 into UTF-8 (responseUtf8)
// or the system ANSI code page. An empty method means "POST", an empty header list one
// form-urlencoded Content-Type, a timeoutMs of 0 a 5000 ms limit on the send; texts are
// cut at their first NUL. True only when the response body was read to its end.
// Unless url is empty (false, outputs untouched), statusCode (0 when no status was
// obtained) and response are always written. A signalled `cancel` gives the request up;
// `details`, when given, receives the error, the Retry-After header and the route.
// Requests carry "User-Agent: Kestrel/<version>" and use the system's proxy settings.
bool SendHttpRequest(std::string method, std::string url, std::string body, HttpHeaderList headers,
                     int32_t timeoutMs, bool responseUtf8, int32_t& statusCode, std::string& response,
                     HANDLE cancel = nullptr, HttpFailureDetails* details = nullptr,
                     const HttpSendOptions& options = {});
