#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <memory>
#include <string>

#include "common/unique_handle.h"

struct HttpAttemptState;

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
  uint32_t extraSecurityFlags = 0;  // ORed into an https request's security flags
  DWORD receiveTimeoutMs = 0;
  DWORD sendDeadline = 0;  // tick count by which a followed redirect's body must be read
};

// One request to one URL, sent and read on a thread of its own so that no server can hold
// the caller past a deadline, whatever WinINet does inside one call.
//
// The thread owns the WinINet handles while it runs. When it ends it closes them if the
// answer was read to its end, and otherwise keeps them open (see unread_requests.h): closing
// a request whose answer is still arriving makes WinINet read the rest first. The caller
// may take the handles away at any time with Abandon, which closes them on the caller's
// thread: that is what makes a blocked WinINet call return on Windows. The thread never
// touches them again afterwards. The thread holds a module reference, since it may outlive
// the attempt; the last of the two sides to let go frees the shared state.
class HttpAttempt {
 public:
  HttpAttempt();
  ~HttpAttempt();
  HttpAttempt(const HttpAttempt&) = delete;
  HttpAttempt& operator=(const HttpAttempt&) = delete;

  // Opens internet, connection and request (in that order), then starts the thread.
  // 0, or the error of the step that failed.
  DWORD Start(HttpAttemptRequest request);

  // Waits until the answer's headers are in (or the send failed), at most until `deadline`
  // (a tick count) or until `cancel` is signalled. 0 when answered, WSAETIMEDOUT or
  // ERROR_INTERNET_OPERATION_CANCELLED otherwise; the attempt is then abandoned.
  DWORD WaitAnswered(DWORD deadline, HANDLE cancel);

  // After WaitAnswered: waits for the body within the read deadline that the thread set
  // when the headers came in, or until `cancel`. Abandons the attempt when either passes.
  void WaitRead(HANDLE cancel);

  // Takes the handles away from the thread and closes them now.
  void Abandon();

  // Outcome; read after the waits above.
  DWORD SendError() const;   // 0 when an answer came
  uint32_t Status() const;   // 0 when none was obtained
  std::string FollowedUrl() const;  // empty unless a redirect is to be followed
  std::wstring Cookies() const;
  std::string RetryAfter() const;  // the answer's Retry-After header, if any
  bool ViaProxy() const;  // the session was set to go through a proxy
  bool ReadToEnd() const;
  DWORD ReadError() const;
  std::string Response() const;  // the body read so far
  HINTERNET RequestHandle() const;  // for observing the close; never used after Abandon

 private:
  std::shared_ptr<HttpAttemptState> m_state;
  UniqueHandle m_thread;
};
