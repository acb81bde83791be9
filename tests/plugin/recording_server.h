#pragma once

// A local HTTP/1.1 endpoint on 127.0.0.1: answers every request "200 OK" with an empty
// body, keeps the connection open as real servers do, and keeps what each request
// carried. One thread per connection, all joined when the server ends.

#include <winsock2.h>

#include <string>
#include <vector>

#include "support/test_threads.h"

class RecordingServer {
 public:
  struct Request {
    std::string target;  // as on the request line
    std::string body;
  };

  RecordingServer();
  ~RecordingServer();
  RecordingServer(const RecordingServer&) = delete;
  RecordingServer& operator=(const RecordingServer&) = delete;

  std::string Base() const;  // http://127.0.0.1:<port>
  std::vector<Request> Requests() const;

 private:
  void Accept();
  void Serve(SOCKET client);

  HANDLE m_stop = nullptr;  // manual-reset: set when the server ends
  SOCKET m_listener = INVALID_SOCKET;
  unsigned short m_port = 0;
  mutable TestMutex m_mutex;
  std::vector<Request> m_requests;
  std::vector<SOCKET> m_clients;
  std::vector<TestThread> m_threads;
  TestThread m_acceptor;
};
