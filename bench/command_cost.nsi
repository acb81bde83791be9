; Times what NSPostAsync and NSPost cost the installer's thread: the performance
; counter is read right before and right after each call, in the real host. Built for
; any target with the test installers' header.
!addincludedir "../tests/e2e"
!include "common.nsh"

!macro Time COMMAND LABEL
  StrCpy $R0 0
  loop_${LABEL}:
    System::Call "kernel32::QueryPerformanceCounter(*l .r1)"
    Kestrel::${COMMAND} "${URL}" "bench&stable&1.0.0"
    System::Call "kernel32::QueryPerformanceCounter(*l .r2)"
    Pop $3
    !insertmacro WriteResult "${LABEL} $1 $2 $3"
    IntOp $R0 $R0 + 1
    IntCmp $R0 ${COUNT} 0 loop_${LABEL}
  Kestrel::NSGet ""
  Pop $3
!macroend

Section
  !insertmacro OpenResults
  System::Call "kernel32::QueryPerformanceFrequency(*l .r1)"
  !insertmacro WriteResult "frequency $1"
  !insertmacro Time NSPostAsync async
  !insertmacro Time NSPost sync
  Kestrel::NSWaitDone "-1"
  Pop $3
  !insertmacro CloseResults
SectionEnd
