; Works without ever calling NSWaitDone and ends with the worker idle: the host's
; unload must let the plug-in go, so that $PLUGINSDIR can be deleted.
!include "common.nsh"

Section
  !insertmacro OpenResults
  Kestrel::NSPutAsync "a"
  !insertmacro Record
  Kestrel::NSPut "b"
  !insertmacro Record
  !insertmacro WriteResult "dir=$PLUGINSDIR"
  !insertmacro CloseResults
SectionEnd
