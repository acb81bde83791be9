// The seven commands install scripts call as Kestrel::<name>. Each leaves exactly
// one number on the host stack.

#include "nsis/include/pluginapi.h"
#include "plugin/commands.h"
#include "plugin/job_commands.h"
#include "plugin/prologue.h"

#define KESTREL_COMMAND(name)                                                  \
  extern "C" void __cdecl name(HWND, int stringSize, char*, stack_t** stackTop, \
                               extra_parameters* extra) noexcept

KESTREL_COMMAND(NSGet) {
  BeginCommand(stringSize, stackTop, extra);
  pushintA(GetCommand(JobMode::Wait));
}

KESTREL_COMMAND(NSGetAsync) {
  BeginCommand(stringSize, stackTop, extra);
  pushintA(GetCommand(JobMode::Queue));
}

KESTREL_COMMAND(NSPut) {
  BeginCommand(stringSize, stackTop, extra);
  pushintA(PutCommand(JobMode::Wait));
}

KESTREL_COMMAND(NSPutAsync) {
  BeginCommand(stringSize, stackTop, extra);
  pushintA(PutCommand(JobMode::Queue));
}

KESTREL_COMMAND(NSPost) {
  BeginCommand(stringSize, stackTop, extra);
  pushintA(PostCommand(JobMode::Wait));
}

KESTREL_COMMAND(NSPostAsync) {
  BeginCommand(stringSize, stackTop, extra);
  pushintA(PostCommand(JobMode::Queue));
}

KESTREL_COMMAND(NSWaitDone) {
  BeginCommand(stringSize, stackTop, extra);
  pushintA(WaitDoneCommand());
}
