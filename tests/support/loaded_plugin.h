#pragma once

// The real Kestrel.dll, loaded from a private copy so that every instance starts
// with fresh module state (worker, status, registration).

#include <windows.h>

#include <string>

#include "support/test_host.h"

class LoadedPlugin {
 public:
  LoadedPlugin();
  ~LoadedPlugin();
  LoadedPlugin(const LoadedPlugin&) = delete;
  LoadedPlugin& operator=(const LoadedPlugin&) = delete;

  HMODULE Module() const { return m_module; }
  const std::string& Path() const { return m_path; }
  // Frees the library early, as the host does at the end of an installer.
  void Unload();
  // Whether any thread still keeps the copy mapped, also after Unload.
  bool IsMapped() const;
  // After Unload: waits (bounded) until the module's own threads have let the copy go,
  // then deletes it; false when it is still mapped or cannot be deleted.
  bool WaitUntilReleased(DWORD limitMs);

  PluginCommand NSGet = nullptr;
  PluginCommand NSGetAsync = nullptr;
  PluginCommand NSPost = nullptr;
  PluginCommand NSPostAsync = nullptr;
  PluginCommand NSPut = nullptr;
  PluginCommand NSPutAsync = nullptr;
  PluginCommand NSWaitDone = nullptr;
  PluginCommand NSEnabled = nullptr;
  PluginCommand NSAddContext = nullptr;
  PluginCommand NSSetField = nullptr;
  PluginCommand NSSetFormat = nullptr;
  PluginCommand NSGetError = nullptr;
  PluginCommand NSSetDeviceId = nullptr;
  PluginCommand NSAttachDetails = nullptr;
  PluginCommand NSAddDetail = nullptr;

 private:
  std::string m_path;
  HMODULE m_module = nullptr;
};
