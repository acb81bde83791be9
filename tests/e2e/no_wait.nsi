; Queues work and ends without NSWaitDone: the host unloads the plug-in while its
; worker still lives.
!include "common.nsh"

Section
  !insertmacro OpenResults
  Kestrel::NSPutAsync "a"
  !insertmacro Record
  Kestrel::NSGetAsync "b"
  !insertmacro Record
  !insertmacro CloseResults
  SetErrorLevel 5
SectionEnd
