#include "support/loaded_plugin.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace {

// Under Wine a fault on a thread of its own ends the process through the debugger with
// exit code 0, which would read as a pass: report it and fail instead.
LONG WINAPI FailOnUnhandledFault(EXCEPTION_POINTERS* info) {
  std::fprintf(stderr, "unhandled exception %08lx at %p\n", info->ExceptionRecord->ExceptionCode,
               info->ExceptionRecord->ExceptionAddress);
  std::fflush(stderr);
  TerminateProcess(GetCurrentProcess(), 3);
  return EXCEPTION_EXECUTE_HANDLER;
}

// KESTREL_DLL holds the Unix path of the built plug-in; Wine maps / to drive Z:.
std::string BuiltPluginPath() {
  const char* path = std::getenv("KESTREL_DLL");
  if (!path) return {};
  std::string windowsPath = path[0] == '/' ? std::string("Z:") + path : path;
  for (char& c : windowsPath) {
    if (c == '/') c = '\\';
  }
  return windowsPath;
}

}  // namespace

LoadedPlugin::LoadedPlugin() {
  static int s_copies = 0;
  SetUnhandledExceptionFilter(FailOnUnhandledFault);
  const std::string source = BuiltPluginPath();
  EXPECT_FALSE(source.empty()) << "KESTREL_DLL is not set";

  char folder[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  m_path = std::string(folder) + "Kestrel-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(++s_copies) + ".dll";
  EXPECT_TRUE(CopyFileA(source.c_str(), m_path.c_str(), FALSE)) << source;
  m_module = LoadLibraryA(m_path.c_str());
  EXPECT_NE(m_module, nullptr) << m_path;
  if (!m_module) return;

  const auto find = [this](const char* name) {
    auto command = reinterpret_cast<PluginCommand>(
        reinterpret_cast<void*>(GetProcAddress(m_module, name)));
    EXPECT_NE(command, nullptr) << name;
    return command;
  };
  NSGet = find("NSGet");
  NSGetAsync = find("NSGetAsync");
  NSPost = find("NSPost");
  NSPostAsync = find("NSPostAsync");
  NSPut = find("NSPut");
  NSPutAsync = find("NSPutAsync");
  NSWaitDone = find("NSWaitDone");
  NSEnabled = find("NSEnabled");
  NSAddContext = find("NSAddContext");
  NSSetField = find("NSSetField");
  NSSetFormat = find("NSSetFormat");
  NSGetError = find("NSGetError");
  NSSetDeviceId = find("NSSetDeviceId");
  NSAttachDetails = find("NSAttachDetails");
  NSAddDetail = find("NSAddDetail");
}

LoadedPlugin::~LoadedPlugin() { Unload(); }

void LoadedPlugin::Unload() {
  if (!m_module) return;
  FreeLibrary(m_module);
  m_module = nullptr;
  DeleteFileA(m_path.c_str());  // fails while the module's own threads keep it loaded
}

bool LoadedPlugin::IsMapped() const { return GetModuleHandleA(m_path.c_str()) != nullptr; }

bool LoadedPlugin::WaitUntilReleased(DWORD limitMs) {
  const DWORD start = GetTickCount();
  while (IsMapped()) {
    if (GetTickCount() - start > limitMs) return false;
    Sleep(20);
  }
  return DeleteFileA(m_path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
}
