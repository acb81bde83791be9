#pragma once

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <string>

#include "common/unique_handle.h"

// What WinINet's status callback tells one attempt, and everything WinINet may still write
// after the attempt gave up on a call: the request's headers and body, the read buffer and
// counts. WinINet runs its work on threads of its own in asynchronous mode, and a request
// closed with a call pending goes on there until the server or the kernel ends it, then
// calls back. So the context is counted: one reference for the attempt, one for each of its
// connection and request handles, given back at that handle's HANDLE_CLOSING. Each context
// counts among the live ones (lifetime/live_contexts.h) until its last reference goes.
class AttemptContext {
 public:
  static constexpr DWORD kReadSize = 1024;

  // Null when the events cannot be made.
  static AttemptContext* Create();

  // One more reference, for a handle whose HANDLE_CLOSING is still to come.
  void AddReference() { m_references.fetch_add(1); }
  void Release();

  // Before each call that may complete later.
  void ExpectCompletion() { ResetEvent(m_completed.get()); }
  HANDLE Completed() const { return m_completed.get(); }
  HANDLE Connected() const { return m_connected.get(); }
  // The error of the latest call that completed later, 0 for none; read after Completed() is
  // signalled. Only a false dwResult is a failure: a query of the data available puts the
  // count in dwError.
  DWORD CompletionError() const {
    if (m_result.dwResult) return 0;
    return m_result.dwError ? m_result.dwError : ERROR_INTERNET_INTERNAL_ERROR;
  }
  bool RequestSent() const { return m_requestSent.load(); }

  std::string headers;
  std::string body;
  char buffer[kReadSize] = {};
  DWORD available = 0;
  DWORD read = 0;

  // What the status callback (status_callback.h) was told for one of this attempt's handles.
  void OnStatus(DWORD status, LPVOID info, DWORD length);

 private:
  AttemptContext() = default;

  std::atomic<LONG> m_references{1};
  UniqueHandle m_completed;  // manual reset: the pending call has completed
  UniqueHandle m_connected;  // manual reset: a connection carries the request
  std::atomic<bool> m_requestSent{false};
  INTERNET_ASYNC_RESULT m_result = {};  // written before m_completed is set
};
