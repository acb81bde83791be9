#include "plugin/member_commands.h"

#include <windows.h>

#include <utility>

#include "nsis/include/pluginapi.h"
#include "optout/optout_settings.h"
#include "plugin/installer_language.h"
#include "report/event_id.h"
#include "report/system_context.h"
#include "worker/worker.h"

namespace {

AddedMembers g_added;
DWORD g_firstCommandTick = 0;
bool g_commandSeen = false;
std::string g_runSessionId;

}  // namespace

bool ReportsStillQueued() { return ReportsEnabled() && !WorkerStopRequested(); }

const std::string& RunSessionId() {
  if (g_runSessionId.empty()) {
    char id[64] = {};
    if (MakeGuidText(id)) g_runSessionId = id;
  }
  return g_runSessionId;
}

void NoteCommandStart() {
  if (g_commandSeen) return;
  g_commandSeen = true;
  g_firstCommandTick = GetTickCount();
}

int AddContextCommand() {
  if (!ReportsStillQueued()) return 0;
  // Read once: the session id stays the same for every report of the run.
  if (!g_added.hasContext) {
    ReportContext context = ReadSystemContext();
    context.sessionId = RunSessionId();
    g_added.context = std::move(context);
    g_added.hasContext = true;
  }
  return 1;
}

bool SetAddedField(std::string_view key, std::string_view value) { return SetReportField(g_added, key, value); }

void SetAddedDeviceId(std::string_view id) { g_added.deviceId.assign(id.data(), id.size()); }

const std::vector<std::pair<std::string, std::string>>& AddedFields() { return g_added.fields; }

AddedMembers CaptureAddedMembers() {
  AddedMembers captured = g_added;
  captured.context.elapsedMs = GetTickCount() - g_firstCommandTick;
  if (captured.hasContext) {
    ReportContext& context = captured.context;
    context.installerLanguage = InstallerLanguage();
    // How the installer runs, as NSIS hands every command its execution flags.
    if (const exec_flags_t* flags = g_execFlags) {
      context.silent = flags->silent != 0;
      context.allUsers = flags->all_user_var != 0;
      context.errorFlag = flags->exec_error != 0;
      context.errorLevel = flags->errlvl;
      context.reboot = flags->exec_reboot != 0;
    }
  }
  return captured;
}
