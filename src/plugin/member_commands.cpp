#include "plugin/member_commands.h"

#include <windows.h>

#include <cstring>

#include "nsis/include/pluginapi.h"
#include "plugin/job_commands.h"
#include "report/system_context.h"

namespace {

AddedMembers g_added;
DWORD g_firstCommandTick = 0;
bool g_commandSeen = false;

}  // namespace

void NoteCommandStart() {
  if (g_commandSeen) return;
  g_commandSeen = true;
  g_firstCommandTick = GetTickCount();
}

int AddContextCommand() {
  if (!JobsAccepted()) return 0;
  // Read once: the session id stays the same for every report of the run.
  if (!g_added.hasContext) {
    g_added.context = ReadSystemContext();
    g_added.hasContext = true;
  }
  return 1;
}

int SetFieldCommand() {
  // One byte more than the limits allow, so that a text over them is seen whole or cut.
  char key[kMaxFieldKeyBytes + 2] = {};
  char value[kMaxFieldValueBytes + 2] = {};
  const bool wholeKey = PopArgument(key, sizeof key);
  const bool wholeValue = PopArgument(value, sizeof value);
  if (!JobsAccepted() || !wholeKey || !wholeValue) return 0;
  return SetReportField(g_added, key, value) ? 1 : 0;
}

AddedMembers CaptureAddedMembers() {
  AddedMembers captured = g_added;
  captured.context.elapsedMs = GetTickCount() - g_firstCommandTick;
  return captured;
}
