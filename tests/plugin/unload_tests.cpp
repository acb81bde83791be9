// The host frees the plug-in at the end of an installer whether or not reports are
// still running. The module must stay mapped until its own threads are done.

#include <gtest/gtest.h>

#include "support/loaded_plugin.h"
#include "support/silent_server.h"
#include "support/test_host.h"

namespace {

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
