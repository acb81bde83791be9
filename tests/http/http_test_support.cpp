#include "http_test_support.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include <gtest/gtest.h>

#include "http/send_http_request.h"
#include "common/unique_handle.h"

std::string ServerUrl(const char* name) {
  const std::string variable = std::string("KESTREL_TEST_") + name;
  const char* value = std::getenv(variable.c_str());
  if (!value) {
    ADD_FAILURE() << variable << " is not set: run the tests through run_http_tests.py";
    return {};
  }
  return value;
}

EchoedRequest ParseEcho(const std::string& dump) {
  EchoedRequest request;
  std::istringstream lines(dump);
  std::getline(lines, request.method);
  std::getline(lines, request.target);
  std::string line;
  while (std::getline(lines, line) && !line.empty()) request.headerLines.push_back(line);
  std::string hex;
  std::getline(lines, hex);
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    request.body += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return request;
}

std::vector<std::string> CallerHeaderLines(const EchoedRequest& request) {
  static const char* const kOwnNames[] = {"Accept", "Host", "Content-Length", "User-Agent",
                                         "Connection", "Cache-Control", "Pragma"};
  std::vector<std::string> lines;
  for (const std::string& line : request.headerLines) {
    const std::string name = line.substr(0, line.find(':'));
    bool own = false;
    for (const char* ownName : kOwnNames) own = own || _stricmp(name.c_str(), ownName) == 0;
    if (!own) lines.push_back(line);
  }
  return lines;
}

std::string BigBody() {
  std::string body;
  char line[16];
  for (int i = 0; i < 40000; ++i) {
    snprintf(line, sizeof line, "%07d\n", i);
    body += line;
  }
  return body;
}

std::string Control(const std::string& pathAndQuery) {
  int32_t status = 0;
  std::string body;
  SendHttpRequest("GET", ServerUrl("HTTP") + pathAndQuery, "", {}, 5000, true, status, body);
  return body;
}

std::set<DWORD> ThreadsOfThisProcess() {
  std::set<DWORD> threads;
  const HANDLE raw = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (raw == INVALID_HANDLE_VALUE) return threads;
  UniqueHandle snapshot(raw);
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Thread32First(snapshot.get(), &entry); more; more = Thread32Next(snapshot.get(), &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) threads.insert(entry.th32ThreadID);
  }
  return threads;
}

bool OtherThreadsEnd(const std::set<DWORD>& before, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (DWORD id : ThreadsOfThisProcess()) {
    if (before.count(id)) continue;
    UniqueHandle thread(OpenThread(SYNCHRONIZE, FALSE, id));
    if (!thread) continue;  // already gone
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (WaitForSingleObject(thread.get(), static_cast<DWORD>(std::max<long long>(left.count(), 0))) != WAIT_OBJECT_0) {
      return false;
    }
  }
  return true;
}
