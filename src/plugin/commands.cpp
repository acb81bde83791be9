// The commands install scripts call as Kestrel::<name>: the prologue, the work,
// and exactly one number left on the host stack.

#include "plugin/commands.h"

#include "plugin/detail_commands.h"
#include "plugin/field_command.h"
#include "plugin/format_command.h"
#include "plugin/identity_commands.h"
#include "plugin/job_commands.h"
#include "plugin/member_commands.h"
#include "plugin/prologue.h"
#include "report/report_tally.h"

namespace {

// Out of memory in a command's work pushes 0: nothing is thrown into the host. Each command
// changes its state only once what it needed was allocated.
template <typename Work>
int RunCommand(HWND parent, int stringSize, TCHAR* variables, stack_t** stackTop, extra_parameters* extra,
               Work work) noexcept {
  try {
    BeginCommand(parent, stringSize, variables, stackTop, extra);
    return work();
  } catch (...) {
    return 0;
  }
}

}  // namespace

// Only exports.def names the exports, and the DLL's whole-program optimisation does not read
// it: without the attribute, an export would be dropped and its entry left pointing nowhere.
#define KESTREL_EXPORT extern "C" [[gnu::externally_visible]]

#define KESTREL_COMMAND(name, work)                                                          \
  KESTREL_EXPORT void __cdecl name(HWND parent, int stringSize, TCHAR* variables, stack_t** stackTop, \
                                   extra_parameters* extra) noexcept {                       \
    PushResult(RunCommand(parent, stringSize, variables, stackTop, extra, [] { return work; }));     \
  }

KESTREL_COMMAND(NSGet, GetCommand(JobMode::Wait))
KESTREL_COMMAND(NSGetAsync, GetCommand(JobMode::Queue))
KESTREL_COMMAND(NSPut, PutCommand(JobMode::Wait))
KESTREL_COMMAND(NSPutAsync, PutCommand(JobMode::Queue))
KESTREL_COMMAND(NSPost, PostCommand(JobMode::Wait))
KESTREL_COMMAND(NSPostAsync, PostCommand(JobMode::Queue))
KESTREL_COMMAND(NSWaitDone, WaitDoneCommand())
KESTREL_COMMAND(NSEnabled, EnabledCommand())
KESTREL_COMMAND(NSAddContext, AddContextCommand())
KESTREL_COMMAND(NSSetField, SetFieldCommand())
KESTREL_COMMAND(NSSetFormat, SetFormatCommand())
KESTREL_COMMAND(NSSetDeviceId, SetDeviceIdCommand())
KESTREL_COMMAND(NSAttachDetails, AttachDetailsCommand())
KESTREL_COMMAND(NSAddDetail, AddDetailCommand())

// The commands that push a text write it into a buffer of their own: nothing to throw.
#define KESTREL_TEXT_COMMAND(name, size, initial, work)                                      \
  KESTREL_EXPORT void __cdecl name(HWND parent, int stringSize, TCHAR* variables, stack_t** stackTop, \
                                   extra_parameters* extra) noexcept {                       \
    char text[size] = initial;                                                               \
    RunCommand(parent, stringSize, variables, stackTop, extra, [&text] {                             \
      work(text);                                                                            \
      return 0;                                                                              \
    });                                                                                      \
    PushResultText(text);                                                                    \
  }

KESTREL_TEXT_COMMAND(NSGetError, kErrorTextSize, "none 0", GetErrorCommand)
KESTREL_TEXT_COMMAND(NSMachineId, kMachineIdTextSize, "", MachineIdCommand)

// The one command that pushes three numbers: the taken count ends on top, popped first.
KESTREL_EXPORT void __cdecl NSTally(HWND parent, int stringSize, TCHAR* variables, stack_t** stackTop,
                                   extra_parameters* extra) noexcept {
  ReportTally tally{};
  RunCommand(parent, stringSize, variables, stackTop, extra, [&tally] {
    tally = CurrentTally();
    return 0;
  });
  PushResult(static_cast<int>(tally.waiting));
  PushResult(static_cast<int>(tally.failed));
  PushResult(static_cast<int>(tally.taken));
}
