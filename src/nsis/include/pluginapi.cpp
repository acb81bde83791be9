#include "nsis/include/pluginapi.h"

#include <cstdio>
#include <cstring>

#include "diag/trace.h"

int g_stringSize = 0;
stack_t** g_stackTop = nullptr;

namespace {

stack_t* TopEntry() { return g_stackTop ? *g_stackTop : nullptr; }

void DropTopEntry(stack_t* top) {
  *g_stackTop = top->next;
  GlobalFree(top);
}

}  // namespace

void popstringA(char* destination, std::size_t destinationSize) {
  stack_t* top = TopEntry();
  if (!top) return;
  const std::size_t length = std::strlen(top->text);
  DebugTrace(KESTREL_PLUGINAPI_SOURCE, 60, "popstringA %s (%d)\n", top->text,
             static_cast<int>(length));
  if (destinationSize > 0) {
    const std::size_t copied = length < destinationSize ? length : destinationSize - 1;
    std::memcpy(destination, top->text, copied);
    destination[copied] = '\0';
  }
  DropTopEntry(top);
}

void popstringn(char* destination, std::size_t count) {
  stack_t* top = TopEntry();
  if (!top) return;
  DebugTrace(KESTREL_PLUGINAPI_SOURCE, 72, "popstringn %s (%d)\n", top->text,
             static_cast<int>(std::strlen(top->text)));
  std::strncpy(destination, top->text, count);
  DropTopEntry(top);
}

void pushintA(int value) {
  char text[1024];
  std::snprintf(text, sizeof text, "%d", value);
  if (!g_stackTop) return;
  const int stringSize = g_stringSize > 0 ? g_stringSize : 0;
  auto* entry = static_cast<stack_t*>(GlobalAlloc(GPTR, sizeof(stack_t*) + stringSize + 4));
  if (!entry) return;
  if (stringSize > 0) lstrcpynA(entry->text, text, stringSize);
  entry->next = *g_stackTop;
  *g_stackTop = entry;
}
