; NSWaitDone as the very first command, then work queued that never waits.
!include "common.nsh"

Section
  !insertmacro OpenResults
  !insertmacro StartClock
  Kestrel::NSWaitDone "-1"
  !insertmacro Record
  !insertmacro RecordClock
  Kestrel::NSGet ""
  !insertmacro Record
  !insertmacro CloseResults
SectionEnd
