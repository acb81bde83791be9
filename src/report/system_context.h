#pragma once

#include "report/added_members.h"

// The run's context as Windows tells it, for NSAddContext: the kernel's version, the
// machine's and the process's architecture, the user's UI language and whether the process
// is elevated; `sessionId`, `elapsedMs`, `installerLanguage` and NSIS's execution flags are
// left to the caller. A value Windows does not give stays empty.
ReportContext ReadSystemContext();

// The BCP 47 tag of a Windows language (LCID), as Windows names it: "fr-FR" for 1036. Empty
// for 0 and for one Windows does not know.
std::string LanguageTag(unsigned long lcid);
