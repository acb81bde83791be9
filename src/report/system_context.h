#pragma once

#include "report/added_members.h"

// The run's context as Windows tells it, for NSAddContext: a fresh session id, the
// kernel's version, the machine's and the process's architecture and the user's UI
// language; `elapsedMs` is left to the caller. A value Windows does not give stays empty.
ReportContext ReadSystemContext();
