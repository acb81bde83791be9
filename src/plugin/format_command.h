#pragma once

// The command that chooses the shape of later reports, and the copy each report takes
// when it is queued. Host's thread only.

#include "report/report_body.h"

// NSSetFormat: pops the format's name, then its key (traced by its length only). 1 when
// later reports are sent in that format; 0, and nothing changed, for an unknown name, a
// missing argument, a format that takes a key given none (or one over 256 bytes), a format
// whose body sets a field the script set already (FormatSetsField), while reports are off
// or once NSWaitDone was called.
int SetFormatCommand();

// The format a report queued now is sent in.
ReportShape CaptureReportShape();
