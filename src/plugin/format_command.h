#pragma once

// The command that chooses the shape of later reports, and the copy each report takes when
// it is queued. Host's thread only.

#include "report/report_body.h"

// NSSetFormat: pops the format's name (any letter case), then its key (traced by its length
// only). 1 when later reports are sent in that format. 0, and nothing changed, for a missing
// argument, while reports are off or once NSWaitDone was called. 0 for an unknown name, a
// format that takes a key given none, one that takes none given one, a key over 256 bytes,
// or a format whose body sets a field the script set already (FormatSetsField): later
// reports are then refused (FormatRefusal) until an NSSetFormat is taken.
int SetFormatCommand();

// The format a report queued now is sent in.
ReportShape CaptureReportShape();

// The format alone, copying nothing.
ReportFormat CurrentReportFormat();

// Why the latest NSSetFormat was refused (a text for the trace), while no later one was taken;
// null otherwise.
const char* FormatRefusal();
