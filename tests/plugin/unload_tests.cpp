// The host frees the plug-in at the end of an installer whether or not reports are
// still running. The module must stay mapped until its own threads are done, and no
// longer: a module still mapped when the installer ends keeps its file, and with it
// the installer's temporary plug-in folder, from being deleted.

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "support/loaded_plugin.h"
#include "support/silent_server.h"
#include "support/test_host.h"

namespace {

std::string CallAndPop(TestHost& host, PluginCommand command, const std::string& argument) {
  host.Push(argument);
  host.Call(command);
  return host.PopText();
}

// A host that takes no unload callback frees the plug-in after each command, so the worker's
// reference may be the last: ending after a report that WinINet still sends, it keeps the module.
TEST(Unload, FreeingThePluginWhileWinInetMayCallBackDoesNotFault) {
  SilentServer server;
  TestHost host;
  TestHost::s_registerResult = 1;
  LoadedPlugin plugin;

  host.Push("install_start&beta&1.2.3");
  host.Push(server.Url());
  host.Call(plugin.NSPost);  // given up after its 5 s
  ASSERT_EQ(host.PopText(), "0");
  EXPECT_EQ(CallAndPop(host, plugin.NSWaitDone, "-1"), "1");

  plugin.Unload();
  EXPECT_TRUE(plugin.IsMapped()) << "unmapped though WinINet could still call back";
  server.Close();  // WinINet calls back into the module as the connection ends
  Sleep(1000);
  EXPECT_TRUE(plugin.IsMapped());
}

TEST(Unload, AnIdleWorkerEndsAtTheUnloadMessageAndTheModuleGoes) {
  TestHost host;
  LoadedPlugin plugin;

  EXPECT_EQ(CallAndPop(host, plugin.NSPutAsync, "queued"), "1");
  EXPECT_EQ(CallAndPop(host, plugin.NSPut, "waited for"), "0");
  ASSERT_NE(TestHost::s_registeredCallback, nullptr);

  const DWORD start = GetTickCount();
  EXPECT_EQ(TestHost::s_registeredCallback(NSPIM_UNLOAD), 0u);
  EXPECT_LT(GetTickCount() - start, 1000u);
  plugin.Unload();
  EXPECT_FALSE(plugin.IsMapped()) << "the worker still holds the module";
  EXPECT_EQ(GetFileAttributesA(plugin.Path().c_str()), INVALID_FILE_ATTRIBUTES)
      << "the copy was not deleted";
}

// At the unload the report in flight gets a short flush, then is given up and the worker
// ends; the request that WinINet still sends under Wine may still call back, so the module
// is pinned: it stays mapped after the server lets go, until the process ends.
TEST(Unload, ABusyWorkerGetsAShortFlushThenItsReportIsGivenUp) {
  SilentServer server;
  TestHost host;
  LoadedPlugin plugin;

  host.Push("install_start&beta&1.2.3");
  host.Push(server.Url());
  host.Call(plugin.NSPostAsync);
  ASSERT_EQ(host.PopText(), "1");
  EXPECT_EQ(CallAndPop(host, plugin.NSPutAsync, "queued behind the report"), "1");
  Sleep(300);  // the report job is waiting for the answer
  ASSERT_NE(TestHost::s_registeredCallback, nullptr);

  const DWORD start = GetTickCount();
  EXPECT_EQ(TestHost::s_registeredCallback(NSPIM_UNLOAD), 0u);
  const DWORD took = GetTickCount() - start;
  EXPECT_GE(took, 900u) << "no flush";
  EXPECT_LT(took, 1500u) << "waited for the report";
  plugin.Unload();
  EXPECT_TRUE(plugin.IsMapped()) << "unmapped while its threads run";

  server.Close();
  EXPECT_FALSE(plugin.WaitUntilReleased(2000)) << "unmapped though WinINet could still call back";
}

// Threads sharing one exception state would free each other's exceptions: without a
// thread-local slot left, the plug-in refuses to load (its imports are loaded first).
TEST(Unload, WithoutAThreadLocalSlotThePluginDoesNotLoad) {
  for (const char* dll : {"wininet.dll", "ole32.dll", "user32.dll", "advapi32.dll"}) ASSERT_TRUE(LoadLibraryA(dll));
  std::vector<DWORD> slots;
  for (DWORD slot; (slot = TlsAlloc()) != TLS_OUT_OF_INDEXES;) slots.push_back(slot);
  const HMODULE module = LoadLibraryA(std::getenv("KESTREL_DLL"));
  for (const DWORD slot : slots) TlsFree(slot);
  EXPECT_EQ(module, nullptr);
  if (module) FreeLibrary(module);
}

}  // namespace
