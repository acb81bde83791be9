#include "nsis/include/pluginapi.h"

#include <cstddef>
#include <cstring>
#include <string>

#include "diag/trace.h"
#include "text/format_text.h"
#include "text/utf8.h"

int g_stringSize = 0;
stack_t** g_stackTop = nullptr;

namespace {

stack_t* TopEntry() { return g_stackTop ? *g_stackTop : nullptr; }

void DropTopEntry(stack_t* top) {
  *g_stackTop = top->next;
  GlobalFree(top);
}

// Copies `text` cut to `length` bytes and NUL-terminates.
Popped CopyCut(char* destination, std::size_t destinationSize, const char* text,
               std::size_t textLength, std::size_t length) {
  if (destinationSize == 0) return textLength == 0 ? Popped::Whole : Popped::Cut;
  std::memcpy(destination, text, length);
  destination[length] = '\0';
  return length == textLength ? Popped::Whole : Popped::Cut;
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
std::string TopTextAsUtf8(const stack_t* top, int& length) {
  length = lstrlenW(top->text);
  const std::u16string units(top->text, top->text + length);
  return Utf16ToUtf8(units.data(), units.size());
}
#endif

}  // namespace

#ifdef UNICODE

Popped popstringW(char* destination, std::size_t destinationSize) {
  stack_t* top = TopEntry();
  if (!top) return Popped::Missing;
  int length = 0;
  const std::string text = TopTextAsUtf8(top, length);
  DebugTraceW(KESTREL_PLUGINAPI_SOURCE, 60, "popstringW %s (%d)\n", text.c_str(), length);
  const std::size_t kept = destinationSize > 0 ? Utf8CutLength(text, destinationSize - 1) : 0;
  const Popped popped = CopyCut(destination, destinationSize, text.data(), text.size(), kept);
  DropTopEntry(top);
  return popped;
}

bool popstringnW(char* destination, std::size_t count) {
  stack_t* top = TopEntry();
  if (!top) return false;
  int length = 0;
  const std::string text = TopTextAsUtf8(top, length);
  DebugTraceW(KESTREL_PLUGINAPI_SOURCE, 72, "popstringnW %s (%d)\n", text.c_str(), length);
  const std::size_t kept = Utf8CutLength(text, count);
  std::memcpy(destination, text.data(), kept);
  std::memset(destination + kept, 0, count - kept);
  DropTopEntry(top);
  return true;
}

void pushintW(int value) { PushDecimal(value); }

void pushstringW(const char* ascii) { PushAscii(ascii); }

#else

Popped popstringA(char* destination, std::size_t destinationSize) {
  stack_t* top = TopEntry();
  if (!top) return Popped::Missing;
  const std::size_t length = std::strlen(top->text);
  DebugTrace(KESTREL_PLUGINAPI_SOURCE, 60, "popstringA %s (%d)\n", top->text,
             static_cast<int>(length));
  const std::size_t kept = destinationSize > 0 && length >= destinationSize ? destinationSize - 1 : length;
  const Popped popped = CopyCut(destination, destinationSize, top->text, length, kept);
  DropTopEntry(top);
  return popped;
}

bool popstringn(char* destination, std::size_t count) {
  stack_t* top = TopEntry();
  if (!top) return false;
  DebugTrace(KESTREL_PLUGINAPI_SOURCE, 72, "popstringn %s (%d)\n", top->text,
             static_cast<int>(std::strlen(top->text)));
  std::strncpy(destination, top->text, count);
  DropTopEntry(top);
  return true;
}

void pushintA(int value) { PushDecimal(value); }

void pushstringA(const char* text) { PushAscii(text); }

#endif
