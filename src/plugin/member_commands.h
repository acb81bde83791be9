#pragma once

// The commands that add members to later reports, and the copy each report takes when
// it is queued. Host's thread only. While reports are off, or once NSWaitDone was called,
// both commands pop their arguments as always, change nothing and push 0.

#include "report/added_members.h"

#include <string>

// Called by every command first: the run's clock starts at its first command.
void NoteCommandStart();

// Later reports can still be queued: reports are on and NSWaitDone was not called.
bool ReportsStillQueued();

// The run's session id, made at its first use: the context's session_id and a vendor
// format's per-run id. Empty when Windows could make none.
const std::string& RunSessionId();

// NSAddContext: pops nothing; 1 when later reports carry the context.
int AddContextCommand();

// NSSetField: pops the key, then the value; 1 when set (an empty value removes the
// field), 0 when refused (SetReportField's rules; a text cut at its pop is refused).
int SetFieldCommand();

// What a report queued now carries, its elapsed_ms and installer_language taken now.
AddedMembers CaptureAddedMembers();
