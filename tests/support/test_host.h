#pragma once

// A stand-in for the NSIS host: a stack of GlobalAlloc'd entries, the parameter
// block with a RegisterPluginCallback the test controls, and a capture of the
// debugger output of the calling process.

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "nsis/include/pluginapi.h"

using PluginCommand = void(__cdecl*)(HWND, int, char*, stack_t**, extra_parameters*);

class TestHost {
 public:
  explicit TestHost(int stringSize = 1024);
  ~TestHost();
  TestHost(const TestHost&) = delete;
  TestHost& operator=(const TestHost&) = delete;

  // Pushes entries as the host does; the first argument of a call is pushed last.
  void Push(const std::string& text);
  std::string PopText();
  std::size_t Depth() const;
  stack_t* Top() const { return m_top; }
  stack_t** StackTop() { return &m_top; }
  int StringSize() const { return m_stringSize; }

  extra_parameters* Extra() { return &m_extra; }
  void Call(PluginCommand command) { command(nullptr, m_stringSize, nullptr, &m_top, &m_extra); }

  // What RegisterPluginCallback answers, and what it was given.
  static int s_registerResult;
  static int s_registerCalls;
  static HMODULE s_registeredModule;
  static NSISPLUGINCALLBACK s_registeredCallback;

 private:
  static int WINAPI RegisterPluginCallback(HMODULE module, NSISPLUGINCALLBACK callback);

  int m_stringSize;
  stack_t* m_top = nullptr;
  exec_flags_t m_flags{};
  extra_parameters m_extra{};
};

// Collects what the process writes with OutputDebugStringA while it lives.
class DebugOutputCapture {
 public:
  DebugOutputCapture();
  ~DebugOutputCapture();
  std::vector<std::string> Lines() const;

 private:
  static LONG CALLBACK Handler(EXCEPTION_POINTERS* info);
  static DebugOutputCapture* s_active;
  mutable std::mutex m_mutex;
  std::vector<std::string> m_lines;
  void* m_handler;
};
