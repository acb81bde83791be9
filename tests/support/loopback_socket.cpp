#include "support/loopback_socket.h"

SOCKET BindLoopbackSocket(bool listening, unsigned short& port) {
  const SOCKET handle = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(handle, reinterpret_cast<sockaddr*>(&address), sizeof address);
  if (listening) listen(handle, 8);
  int length = sizeof address;
  getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length);
  port = ntohs(address.sin_port);
  return handle;
}
