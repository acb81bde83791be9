// The host frees the plug-in at the end of an installer whether or not reports are
// still running. The module must stay mapped until its own threads are done.

#include <winsock2.h>

#include <gtest/gtest.h>

#include <string>

#include "support/loaded_plugin.h"
#include "support/test_host.h"

namespace {

// A listening socket that never accepts: a request to it is connected, sent and then
// never answered, so the report job and its send thread stay busy.
class SilentServer {
 public:
  SilentServer() {
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
  ~SilentServer() {
    Close();
    WSACleanup();
  }
  // Resets the waiting connections, which ends the abandoned send.
  void Close() {
    if (m_socket != INVALID_SOCKET) closesocket(m_socket);
    m_socket = INVALID_SOCKET;
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/events"; }

 private:
  SOCKET m_socket = INVALID_SOCKET;
  unsigned short m_port = 0;
};

TEST(Unload, FreeingThePluginWhileAReportRunsDoesNotFault) {
  SilentServer server;
  TestHost host;
  LoadedPlugin plugin;
  const std::string path = plugin.Path();

  host.Push("install_start&beta&1.2.3");
  host.Push(server.Url());
  host.Call(plugin.NSPostAsync);
  ASSERT_EQ(host.PopText(), "1");
  Sleep(300);  // the report job is waiting on its send thread

  plugin.Unload();  // as NSIS does after NSPIM_UNLOAD
  EXPECT_NE(GetModuleHandleA(path.c_str()), nullptr) << "unmapped while its threads run";

  // The send time-out returns the worker into module code; the send thread follows
  // once the server goes away.
  Sleep(5500);
  server.Close();
  Sleep(1000);
  SUCCEED() << "still running after the module's threads went on without it";
}

}  // namespace
