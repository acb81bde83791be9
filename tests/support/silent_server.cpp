#include "support/silent_server.h"

SilentServer::SilentServer() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  m_socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
  listen(m_socket, 8);
  int length = sizeof address;
  getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length);
  m_port = ntohs(address.sin_port);
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
