#include "recording_server.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "support/loopback_socket.h"

RecordingServer::RecordingServer() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  m_stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  m_listener = BindLoopbackSocket(true, m_port);
  m_acceptor = TestThread([this] { Accept(); });
}

RecordingServer::~RecordingServer() {
  closesocket(m_listener);  // ends accept
  m_acceptor.join();
  // The client may keep its connections open for a while: each one's thread waits on
  // the stop event as well as on its socket.
  SetEvent(m_stop);
  for (TestThread& thread : m_threads) thread.join();
  for (SOCKET client : m_clients) closesocket(client);
  CloseHandle(m_stop);
  WSACleanup();
}

std::string RecordingServer::Base() const { return "http://127.0.0.1:" + std::to_string(m_port); }

std::vector<RecordingServer::Request> RecordingServer::Requests() const {
  std::lock_guard<TestMutex> lock(m_mutex);
  return m_requests;
}

void RecordingServer::Accept() {
  for (;;) {
    const SOCKET client = accept(m_listener, nullptr, nullptr);
    if (client == INVALID_SOCKET) return;
    std::lock_guard<TestMutex> lock(m_mutex);
    m_clients.push_back(client);
    m_threads.emplace_back([this, client] { Serve(client); });
  }
}

void RecordingServer::Serve(SOCKET client) {
  WSAEVENT readable = WSACreateEvent();
  WSAEventSelect(client, readable, FD_READ | FD_CLOSE);  // also makes the socket non-blocking
  std::string pending;
  char chunk[4096];
  for (;;) {
    const std::size_t headEnd = pending.find("\r\n\r\n");
    if (headEnd != std::string::npos) {
      const std::string head = pending.substr(0, headEnd + 2);
      std::size_t bodyLength = 0;
      for (std::size_t at = head.find("\r\n"); at != std::string::npos; at = head.find("\r\n", at + 2)) {
        if (_strnicmp(head.c_str() + at + 2, "Content-Length:", 15) == 0)
          bodyLength = std::strtoul(head.c_str() + at + 17, nullptr, 10);
      }
      if (pending.size() >= headEnd + 4 + bodyLength) {
        const std::size_t targetStart = head.find(' ') + 1;
        Request request{head.substr(targetStart, head.find(' ', targetStart) - targetStart),
                        pending.substr(headEnd + 4, bodyLength)};
        pending.erase(0, headEnd + 4 + bodyLength);
        {
          std::lock_guard<TestMutex> lock(m_mutex);
          m_requests.push_back(std::move(request));
        }
        static const char kAnswer[] = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n";
        send(client, kAnswer, sizeof kAnswer - 1, 0);
        continue;
      }
    }
    const HANDLE waits[] = {m_stop, readable};
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) break;
    WSAResetEvent(readable);
    const int received = recv(client, chunk, sizeof chunk, 0);
    if (received == 0 || (received < 0 && WSAGetLastError() != WSAEWOULDBLOCK)) break;
    if (received > 0) pending.append(chunk, static_cast<std::size_t>(received));
  }
  WSACloseEvent(readable);
}
