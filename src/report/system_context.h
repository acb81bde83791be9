#pragma once

#include "report/added_members.h"

// The run's context as Windows tells it, for NSAddContext: the kernel's version, the
// machine's and the process's architecture and the user's UI language; `sessionId` and
// `elapsedMs` are left to the caller. A value Windows does not give stays empty.
ReportContext ReadSystemContext();
