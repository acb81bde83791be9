#pragma once

#include <winsock2.h>

#include <string>

// A listening socket on 127.0.0.1 that never accepts: a request to it is connected, sent
// and then never answered, so a report job and WinINet's call for it stay busy.
class SilentServer {
 public:
  SilentServer();
  ~SilentServer();
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;

  // Resets the waiting connections, which ends an abandoned send.
  void Close();
  std::string Url() const;

 private:
  SOCKET m_socket = INVALID_SOCKET;
  unsigned short m_port = 0;
};
