#include "nsis/include/pluginapi.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "diag/trace.h"
#include "text/format_text.h"
#include "text/utf8.h"

int g_stringSize = 0;
stack_t** g_stackTop = nullptr;
TCHAR* g_variables = nullptr;
HWND g_parentWindow = nullptr;
exec_flags_t* g_execFlags = nullptr;

namespace {

struct FreeEntry {
  void operator()(stack_t* entry) const { GlobalFree(entry); }
};
using TakenEntry = std::unique_ptr<stack_t, FreeEntry>;

// Unlinks the top entry before anything else happens to it, so that nothing that fails later
// (out of memory in the trace) can leave it on the stack.
TakenEntry TakeTopEntry() {
  stack_t* top = g_stackTop ? *g_stackTop : nullptr;
  if (top) *g_stackTop = top->next;
  return TakenEntry(top);
}

// One pop's trace line, `routine` text (length): out of memory costs the line, never the pop.
using TraceFunction = void (*)(const char*, int, const char*, ...);
void TracePop(TraceFunction trace, int lineNumber, const char* routine, std::string_view text, int length,
              Traced traced) noexcept {
  try {
    trace(KESTREL_PLUGINAPI_SOURCE, lineNumber, "%s %s (%d)\n", routine, TracedText(text, traced).c_str(), length);
  } catch (...) {
  }
}

// An ASCII text in an entry sized as the host sizes its own: string_size characters and 4
// more, the text cut to fit.
void PushAscii(const char* text) {
  if (!g_stackTop) return;
  const int stringSize = g_stringSize > 0 ? g_stringSize : 0;
  auto* entry = static_cast<stack_t*>(
      GlobalAlloc(GPTR, offsetof(stack_t, text) + (stringSize + 4) * sizeof(TCHAR)));
  if (!entry) return;
  for (int i = 0; i + 1 < stringSize && text[i]; ++i) entry->text[i] = static_cast<TCHAR>(text[i]);
  entry->next = *g_stackTop;
  *g_stackTop = entry;
}

void PushDecimal(int value) {
  char text[16];
  FormatText(text, sizeof text, "%d", value);
  PushAscii(text);
}

#ifdef UNICODE
const char16_t* Units(const stack_t& entry) { return reinterpret_cast<const char16_t*>(entry.text); }

void TraceWidePop(int lineNumber, const char* routine, const stack_t& entry, int length, Traced traced) noexcept {
  try {
    TracePop(DebugTraceW, lineNumber, routine, Utf16ToUtf8(Units(entry), static_cast<std::size_t>(length)), length,
             traced);
  } catch (...) {
  }
}
#endif

}  // namespace

#ifdef UNICODE

Popped popstringW(char* destination, std::size_t destinationSize, Traced traced) {
  const TakenEntry top = TakeTopEntry();
  if (!top) return Popped::Missing;
  const int length = lstrlenW(top->text);
  TraceWidePop(60, "popstringW", *top, length, traced);
  if (destinationSize == 0) return length == 0 ? Popped::Whole : Popped::Cut;
  const Utf8Copy copy = Utf16ToUtf8Into(Units(*top), static_cast<std::size_t>(length), destination, destinationSize - 1);
  destination[copy.bytes] = '\0';
  return copy.whole ? Popped::Whole : Popped::Cut;
}

bool popstringnW(char* destination, std::size_t count) {
  const TakenEntry top = TakeTopEntry();
  if (!top) return false;
  const int length = lstrlenW(top->text);
  TraceWidePop(72, "popstringnW", *top, length, Traced::Whole);
  const Utf8Copy copy = Utf16ToUtf8Into(Units(*top), static_cast<std::size_t>(length), destination, count);
  std::memset(destination + copy.bytes, 0, count - copy.bytes);
  return true;
}

void pushintW(int value) { PushDecimal(value); }

void pushstringW(const char* ascii) { PushAscii(ascii); }

#else

Popped popstringA(char* destination, std::size_t destinationSize, Traced traced) {
  const TakenEntry top = TakeTopEntry();
  if (!top) return Popped::Missing;
  const std::size_t length = std::strlen(top->text);
  TracePop(DebugTrace, 60, "popstringA", top->text, static_cast<int>(length), traced);
  if (destinationSize == 0) return length == 0 ? Popped::Whole : Popped::Cut;
  const std::size_t kept = length >= destinationSize ? destinationSize - 1 : length;
  std::memcpy(destination, top->text, kept);
  destination[kept] = '\0';
  return kept == length ? Popped::Whole : Popped::Cut;
}

bool popstringn(char* destination, std::size_t count) {
  const TakenEntry top = TakeTopEntry();
  if (!top) return false;
  TracePop(DebugTrace, 72, "popstringn", top->text, static_cast<int>(std::strlen(top->text)), Traced::Whole);
  std::strncpy(destination, top->text, count);
  return true;
}

void pushintA(int value) { PushDecimal(value); }

void pushstringA(const char* text) { PushAscii(text); }

#endif
