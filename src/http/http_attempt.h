#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <string>

#include "common/internet_handle.h"
#include "http/attempt_context.h"
#include "http/route_rules.h"
#include "text/wide_string.h"

// What one attempt sends and how, fixed before it starts.
struct HttpAttemptRequest {
  std::string agent;
  // 0 direct, 2 through `proxy` (with the credentials below), other values the system's
  // internet settings (a proxy when they name one, else direct).
  int32_t proxyMode = 0;
  std::string proxy;
  std::string proxyUser;
  std::string proxyPassword;
  std::string url;  // without fragment
  std::string method;
  std::string version;
  std::string referrer;
  std::string accept;
  std::string headers;
  std::string body;
  bool head = false;
  bool followRedirect = false;  // a 307/308 answer yields the URL to repeat the request at
  bool collectCookies = false;
  // ORed into an https request's security flags; its certificate's host name and dates are
  // checked unless these relax them too.
  uint32_t extraSecurityFlags = 0;
};

// One request to one URL over WinINet's asynchronous mode. The thread that makes the attempt
// is the only one to call WinINet with its handles and the only one to close them; every wait
// is a wait on events, bounded by a deadline and a cancel event, so no server holds it longer.
//
// Its handles open in the order internet, connection, request and end together when the
// attempt does: closed, request first, or, when an answer came whose body was not read to its
// end, kept open (see unread_requests.h), since closing it would read the rest under Wine.
class HttpAttempt {
 public:
  HttpAttempt() = default;
  ~HttpAttempt();
  HttpAttempt(const HttpAttempt&) = delete;
  HttpAttempt& operator=(const HttpAttempt&) = delete;

  // Opens the handles and starts sending. 0, or the error of the step that failed.
  DWORD Start(HttpAttemptRequest request);

  // Waits until the answer's headers are in or the send failed, at most until `deadline` (a
  // tick count) or until `cancel` is signalled. Through a proxy, a connection to it must be
  // made by `connectDeadline` too. 0 when an answer came; otherwise the send error (also in
  // Route()): WSAETIMEDOUT past the deadline, ERROR_INTERNET_TIMEOUT when the proxy took no
  // connection in time, ERROR_INTERNET_OPERATION_CANCELLED on a cancel.
  DWORD WaitAnswered(DWORD deadline, DWORD connectDeadline, HANDLE cancel);

  static constexpr size_t kResponseCap = 1024 * 1024;

  // After an answer: reads the body until its end, `deadline`, `cancel` or `cap` bytes, and
  // keeps its first `kept` bytes in Response(). Read to its end, the answer hands its
  // connection back to WinINet's pool.
  void ReadBody(DWORD deadline, HANDLE cancel, size_t cap = kResponseCap, size_t kept = kResponseCap);

  RouteFacts Route() const;
  uint32_t Status() const { return m_status; }  // 0 when none was obtained
  const std::string& FollowedUrl() const { return m_followedUrl; }  // empty unless one is followed
  const WideString& Cookies() const { return m_cookies; }
  const std::string& RetryAfter() const { return m_retryAfter; }
  bool ReadToEnd() const { return m_readToEnd; }
  DWORD ReadError() const { return m_readError; }
  const std::string& Response() const { return m_response; }

 private:
  DWORD OpenHandles();
  DWORD SecureRequestFlags() const;
  // Whether an https request checks the certificate's authority, host name and dates.
  bool ChecksCertificate() const;
  // Waits for the pending call; 0 when it completed, else why it was given up.
  DWORD AwaitCall(DWORD deadline, HANDLE cancel, DWORD timeoutError);
  // Runs a call that may complete later: `started` is its return value.
  DWORD Complete(BOOL started, DWORD deadline, HANDLE cancel, DWORD timeoutError);
  DWORD ReadPiece(DWORD deadline, HANDLE cancel, size_t wanted, size_t kept);
  void ReadAnswerHead();
  void End();

  HttpAttemptRequest m_request;
  AttemptContext* m_context = nullptr;
  InternetHandle m_internet;
  InternetHandle m_connection;
  InternetHandle m_requestHandle;
  bool m_viaProxy = false;
  bool m_callPending = false;  // WinINet still works on a call that was given up
  bool m_answered = false;
  DWORD m_sendError = 0;
  uint32_t m_status = 0;
  std::string m_followedUrl;
  WideString m_cookies;
  std::string m_retryAfter;
  bool m_readToEnd = false;
  DWORD m_readError = 0;
  size_t m_bodyRead = 0;
  std::string m_response;
};
