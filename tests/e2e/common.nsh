; Shared by the test installers: silent, ANSI, the freshly built plug-in, and a
; results file that receives every value a command pushed, one per line.
Unicode false
SilentInstall silent
RequestExecutionLevel user
OutFile "${OUT_FILE}"
Name "Kestrel test"
!addplugindir /x86-ansi "${PLUGIN_DIR}"

Var results
Var started

!macro OpenResults
  FileOpen $results "${RESULT_FILE}" w
!macroend

; Pops what the last command pushed and writes it as one line.
!macro Record
  Exch $0
  FileWrite $results "$0$\r$\n"
  Pop $0
!macroend

; Writes the milliseconds since the last StartClock, as "ms=<n>".
!macro StartClock
  System::Call "kernel32::GetTickCount() i .s"
  Pop $started
!macroend
!macro RecordClock
  Push $1
  System::Call "kernel32::GetTickCount() i .s"
  Pop $1
  IntOp $1 $1 - $started
  FileWrite $results "ms=$1$\r$\n"
  Pop $1
!macroend

!macro CloseResults
  FileClose $results
!macroend
