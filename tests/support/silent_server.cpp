#include "support/silent_server.h"

#include "support/loopback_socket.h"

SilentServer::SilentServer() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  m_socket = BindLoopbackSocket(true, m_port);
}

SilentServer::~SilentServer() {
  Close();
  WSACleanup();
}

void SilentServer::Close() {
  if (m_socket != INVALID_SOCKET) closesocket(m_socket);
  m_socket = INVALID_SOCKET;
}

std::string SilentServer::Url() const {
  return "http://127.0.0.1:" + std::to_string(m_port) + "/events";
}
