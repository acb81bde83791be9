#pragma once

// NSSetField: pops the key, then the value (traced by its length only); 1 when later reports
// carry it (an empty value removes the field), 0 when refused: SetReportField's rules, a text
// cut at its pop, a key that the current format's body sets itself (FormatSetsField), reports
// off or once NSWaitDone was called. Host's thread only.
int SetFieldCommand();
