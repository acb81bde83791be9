#pragma once

// A stand-in for the NSIS host: a stack of GlobalAlloc'd entries, the parameter
// block with a RegisterPluginCallback the test controls, and a capture of the
// debugger output of the calling process.
//
// Texts are std::string in every build: the host's own bytes in ANSI builds, UTF-8 in
// Unicode builds, where the entries hold UTF-16 (PushNative and PopNative reach the
// entries' text as it is, unpaired surrogates included).

#include <windows.h>

#include <string>
#include <vector>

#include "nsis/include/pluginapi.h"
#include "support/test_threads.h"

using PluginCommand = void(__cdecl*)(HWND, int, TCHAR*, stack_t**, extra_parameters*);

// The stack helpers' names in trace lines: the same cases run in ANSI and Unicode builds.
#ifdef UNICODE
inline const std::string kPop = "popstringW";
inline const std::string kBoundedPop = "popstringnW";
#else
inline const std::string kPop = "popstringA";
inline const std::string kBoundedPop = "popstringn";
#endif
using NativeText = std::basic_string<TCHAR>;

class TestHost {
 public:
  explicit TestHost(int stringSize = 1024);
  ~TestHost();
  TestHost(const TestHost&) = delete;
  TestHost& operator=(const TestHost&) = delete;

  // Pushes entries as the host does; the first argument of a call is pushed last.
  void Push(const std::string& text);
  std::string PopText();
  void PushNative(const NativeText& text);
  NativeText PopNative();
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

// UTF-8 to UTF-16 and back (Windows' conversion, independent of the plug-in's).
std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);

// Collects what the process writes with OutputDebugStringA and OutputDebugStringW
// while it lives. A wide line arrives as DBG_PRINTEXCEPTION_WIDE_C where the system
// raises it (Windows 10 on) and is kept as UTF-8; Wine 8 raises only the narrow
// DBG_PRINTEXCEPTION_C, with the text converted to the ANSI code page, and the line is
// kept as those bytes.
class DebugOutputCapture {
 public:
  DebugOutputCapture();
  ~DebugOutputCapture();
  std::vector<std::string> Lines() const;
  // How a line written with OutputDebugStringW from `utf8` shows in Lines().
  std::string AsCaptured(const std::string& utf8) const;

 private:
  static LONG CALLBACK Handler(EXCEPTION_POINTERS* info);
  // A line may arrive on any thread while a capture ends: one lock for the process, never
  // destroyed, guards s_active and the active capture's lines.
  static TestMutex s_lock;
  static DebugOutputCapture* s_active;
  std::vector<std::string> m_lines;
  bool m_sawWide = false;
};
