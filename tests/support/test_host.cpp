#include "support/test_host.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <utility>

int TestHost::s_registerResult = 0;
int TestHost::s_registerCalls = 0;
HMODULE TestHost::s_registeredModule = nullptr;
NSISPLUGINCALLBACK TestHost::s_registeredCallback = nullptr;

TestHost::TestHost(int stringSize) : m_stringSize(stringSize) {
  m_extra.exec_flags = &m_flags;
  m_extra.RegisterPluginCallback = &TestHost::RegisterPluginCallback;
  s_registerResult = 0;
  s_registerCalls = 0;
  s_registeredModule = nullptr;
  s_registeredCallback = nullptr;
}

TestHost::~TestHost() {
  while (m_top) {
    stack_t* next = m_top->next;
    GlobalFree(m_top);
    m_top = next;
  }
}

void TestHost::Push(const std::string& text) {
#ifdef UNICODE
  PushNative(WideFromUtf8(text));
#else
  PushNative(text);
#endif
}

std::string TestHost::PopText() {
  if (!m_top) return "<empty stack>";
#ifdef UNICODE
  return Utf8FromWide(PopNative());
#else
  return PopNative();
#endif
}

void TestHost::PushNative(const NativeText& text) {
  auto* entry = static_cast<stack_t*>(
      GlobalAlloc(GPTR, offsetof(stack_t, text) + (m_stringSize + 4) * sizeof(TCHAR)));
  // As the host does: a text longer than string_size characters is cut to fit.
  const std::size_t length = std::min(text.size(), static_cast<std::size_t>(m_stringSize - 1));
  std::memcpy(entry->text, text.data(), length * sizeof(TCHAR));
  entry->next = m_top;
  m_top = entry;
}

NativeText TestHost::PopNative() {
  if (!m_top) return NativeText();
  stack_t* entry = m_top;
  NativeText text = entry->text;
  m_top = entry->next;
  GlobalFree(entry);
  return text;
}

std::size_t TestHost::Depth() const {
  std::size_t depth = 0;
  for (stack_t* entry = m_top; entry; entry = entry->next) ++depth;
  return depth;
}

int WINAPI TestHost::RegisterPluginCallback(HMODULE module, NSISPLUGINCALLBACK callback) {
  ++s_registerCalls;
  s_registeredModule = module;
  s_registeredCallback = callback;
  return s_registerResult;
}

std::wstring WideFromUtf8(const std::string& text) {
  const int count = static_cast<int>(text.size());
  std::wstring wide(text.size(), L'\0');
  const int converted = count ? MultiByteToWideChar(CP_UTF8, 0, text.data(), count, &wide[0], count) : 0;
  wide.resize(static_cast<std::size_t>(converted));
  return wide;
}

std::string Utf8FromWide(const std::wstring& text) {
  const int count = static_cast<int>(text.size());
  std::string bytes(text.size() * 3, '\0');
  const int converted =
      count ? WideCharToMultiByte(CP_UTF8, 0, text.data(), count, &bytes[0], count * 3, nullptr, nullptr) : 0;
  bytes.resize(static_cast<std::size_t>(converted));
  return bytes;
}

TestMutex DebugOutputCapture::s_lock;
DebugOutputCapture* DebugOutputCapture::s_active = nullptr;

// The handler is added once and never removed: the system keeps a removed handler listed
// while another thread still runs it, so a capture that removed and added its own could see
// a line twice.
DebugOutputCapture::DebugOutputCapture() {
  static void* const handler = AddVectoredExceptionHandler(1, &DebugOutputCapture::Handler);
  (void)handler;
  std::lock_guard<TestMutex> lock(s_lock);
  s_active = this;
}

// A line from another thread takes the lock before it looks at s_active, so it either lands
// before the capture ends or finds none.
DebugOutputCapture::~DebugOutputCapture() {
  std::lock_guard<TestMutex> lock(s_lock);
  s_active = nullptr;
}

std::vector<std::string> DebugOutputCapture::Lines() const {
  std::lock_guard<TestMutex> lock(s_lock);
  return m_lines;
}

std::string DebugOutputCapture::AsCaptured(const std::string& utf8) const {
  {
    std::lock_guard<TestMutex> lock(s_lock);
    if (m_sawWide) return utf8;
  }
  const std::wstring wide = WideFromUtf8(utf8);
  const int count = static_cast<int>(wide.size());
  std::string ansi(wide.size() * 2, '\0');
  const int converted =
      count ? WideCharToMultiByte(CP_ACP, 0, wide.data(), count, &ansi[0], count * 2, nullptr, nullptr) : 0;
  ansi.resize(static_cast<std::size_t>(converted));
  return ansi;
}

// OutputDebugStringA raises DBG_PRINTEXCEPTION_C with the text's length (terminator
// included) and address; OutputDebugStringW, where it raises DBG_PRINTEXCEPTION_WIDE_C,
// the same for the UTF-16 text, and falls back to the narrow form when no debugger
// takes the wide one: that narrow twin is skipped, whether a capture is active or not,
// so that the flag never outlives it. The system's own handler still runs after this one.
LONG CALLBACK DebugOutputCapture::Handler(EXCEPTION_POINTERS* info) {
  constexpr DWORD kWideCode = 0x4001000A;  // DBG_PRINTEXCEPTION_WIDE_C
  thread_local bool s_skipNarrowTwin = false;
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  const bool wide = record->ExceptionCode == kWideCode;
  if ((!wide && record->ExceptionCode != DBG_PRINTEXCEPTION_C) || record->NumberParameters < 2) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  if (!wide && std::exchange(s_skipNarrowTwin, false)) return EXCEPTION_CONTINUE_SEARCH;
  s_skipNarrowTwin = wide;
  const auto length = static_cast<std::size_t>(record->ExceptionInformation[0]);
  const std::size_t withoutTerminator = length > 0 ? length - 1 : 0;
  std::lock_guard<TestMutex> lock(s_lock);
  if (!s_active) return EXCEPTION_CONTINUE_SEARCH;
  if (wide) {
    const auto* text = reinterpret_cast<const wchar_t*>(record->ExceptionInformation[1]);
    s_active->m_lines.push_back(Utf8FromWide(std::wstring(text, withoutTerminator)));
    s_active->m_sawWide = true;
  } else {
    s_active->m_lines.emplace_back(reinterpret_cast<const char*>(record->ExceptionInformation[1]),
                                   withoutTerminator);
  }
  return EXCEPTION_CONTINUE_SEARCH;
}
