; Times what NSPostAsync and NSPost cost the installer's thread: the performance
; counter is read right before and right after each call, in the real host.
Unicode false
SilentInstall silent
RequestExecutionLevel user
OutFile "${OUT_FILE}"
Name "Kestrel command cost"
!addplugindir /x86-ansi "${PLUGIN_DIR}"

Var out

!macro Time COMMAND LABEL
  StrCpy $R0 0
  loop_${LABEL}:
    System::Call "kernel32::QueryPerformanceCounter(*l .r1)"
    Kestrel::${COMMAND} "${URL}" "bench&stable&1.0.0"
    System::Call "kernel32::QueryPerformanceCounter(*l .r2)"
    Pop $3
    FileWrite $out "${LABEL} $1 $2 $3$\r$\n"
    IntOp $R0 $R0 + 1
    IntCmp $R0 ${COUNT} 0 loop_${LABEL}
  Kestrel::NSGet ""
  Pop $3
!macroend

Section
  FileOpen $out "${RESULT_FILE}" w
  System::Call "kernel32::QueryPerformanceFrequency(*l .r1)"
  FileWrite $out "frequency $1$\r$\n"
  !insertmacro Time NSPostAsync async
  !insertmacro Time NSPost sync
  Kestrel::NSWaitDone "-1"
  Pop $3
  FileClose $out
SectionEnd
