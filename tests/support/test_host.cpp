#include "support/test_host.h"

#include <algorithm>
#include <cstring>

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
  auto* entry = static_cast<stack_t*>(GlobalAlloc(GPTR, sizeof(stack_t*) + m_stringSize + 4));
  // As the host does: a text longer than string_size is cut to fit.
  const std::size_t length = std::min(text.size(), static_cast<std::size_t>(m_stringSize - 1));
  std::memcpy(entry->text, text.data(), length);
  entry->next = m_top;
  m_top = entry;
}

std::string TestHost::PopText() {
  if (!m_top) return "<empty stack>";
  stack_t* entry = m_top;
  std::string text = entry->text;
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

DebugOutputCapture* DebugOutputCapture::s_active = nullptr;

DebugOutputCapture::DebugOutputCapture() {
  s_active = this;
  m_handler = AddVectoredExceptionHandler(1, &DebugOutputCapture::Handler);
}

DebugOutputCapture::~DebugOutputCapture() {
  RemoveVectoredExceptionHandler(m_handler);
  s_active = nullptr;
}

std::vector<std::string> DebugOutputCapture::Lines() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_lines;
}

// OutputDebugStringA raises DBG_PRINTEXCEPTION_C with the text's length (terminator
// included) and address; the system's own handler still runs after this one.
LONG CALLBACK DebugOutputCapture::Handler(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  if (record->ExceptionCode == DBG_PRINTEXCEPTION_C && record->NumberParameters >= 2 && s_active) {
    const auto length = static_cast<std::size_t>(record->ExceptionInformation[0]);
    const auto* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
    std::lock_guard<std::mutex> lock(s_active->m_mutex);
    s_active->m_lines.emplace_back(text, length > 0 ? length - 1 : 0);
  }
  return EXCEPTION_CONTINUE_SEARCH;
}
