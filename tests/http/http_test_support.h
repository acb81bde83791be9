#pragma once

#include <windows.h>

#include <chrono>
#include <set>
#include <string>
#include <vector>

// Base URL ("http://127.0.0.1:port") of a test server started by run_http_tests.py, from
// KESTREL_TEST_<name>; fails the current test when the variable is missing.
std::string ServerUrl(const char* name);

// A request as the server's /echo path reports it.
struct EchoedRequest {
  std::string method;
  std::string target;
  std::vector<std::string> headerLines;
  std::string body;
};
EchoedRequest ParseEcho(const std::string& dump);

// The header lines that did not come from WinINet itself, in order.
std::vector<std::string> CallerHeaderLines(const EchoedRequest& request);

// What the servers' /big path answers.
std::string BigBody();

// GET on the plain server's control path; returns the body.
std::string Control(const std::string& pathAndQuery);

std::set<DWORD> ThreadsOfThisProcess();

// Waits for every thread not in `before` to end: true once they have. WinINet's work runs on
// Wine's thread pool, which retires a worker 5 s after its last work item, so a healthy client
// leaves no thread behind 5 s after its last request; the bound doubles that for a shared CPU.
// A thread blocked in a call that never returns is still there then.
bool OtherThreadsEnd(const std::set<DWORD>& before, std::chrono::milliseconds limit = std::chrono::seconds(10));

// Milliseconds taken by `action`.
template <typename Action>
long long MillisecondsTaken(Action&& action) {
  const auto start = std::chrono::steady_clock::now();
  action();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}
