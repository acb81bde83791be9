#pragma once

// The commands that add members to later reports, and the copy each report takes when
// it is queued. Host's thread only. While reports are off, or once NSWaitDone was called,
// both commands pop their arguments as always, change nothing and push 0.

#include "report/added_members.h"

#include <string>
#include <string_view>

// Called by every command first: the run's clock starts at its first command.
void NoteCommandStart();

// Later reports can still be queued: reports are on and NSWaitDone was not called.
bool ReportsStillQueued();

// The run's session id, made at its first use: the context's session_id and a vendor
// format's per-run id. Empty when Windows could make none.
const std::string& RunSessionId();

// NSAddContext: pops nothing; 1 when later reports carry the context.
int AddContextCommand();

// Sets a field of later reports (SetReportField's rules); false, and nothing changed, when refused.
bool SetAddedField(std::string_view key, std::string_view value);

// Later reports count the machine by `id`, as the script checked it.
void SetAddedDeviceId(std::string_view id);

// What a report queued now carries but its details, its elapsed_ms, installer_language and
// NSIS's execution flags taken now.
AddedMembers CaptureAddedMembers();

// The fields later reports carry, as NSSetField left them.
const std::vector<std::pair<std::string, std::string>>& AddedFields();
