#pragma once

// The command that chooses the shape of later reports, and the copy each report takes when
// it is queued. Host's thread only.

#include "report/report_body.h"

// NSSetFormat: pops the format's name (any letter case), then its key (traced by its length
// only). 1 when later reports are sent in that format. 0, and nothing changed, while reports
// are off or once NSWaitDone was called. Any other 0 (a missing argument, an unknown name, a
// format that takes a key given none, one that takes none given one, a key over 256 bytes, a
// format whose body sets a field the script set already (FormatSetsField), no run id, no
// memory) refuses later reports (ReportRefusal) until an NSSetFormat is taken.
int SetFormatCommand();

// The format a report queued now is sent in.
ReportShape CaptureReportShape();

// The format alone, copying nothing.
ReportFormat CurrentReportFormat();

// Why a report to `url` queued now is refused before any attempt (a text for the trace): the
// latest NSSetFormat was refused and no later one taken, or Kestrel's document would go to a
// vendor's own ingestion host (IsVendorIngestionUrl). Null when it may go.
const char* ReportRefusal(const char* url);
