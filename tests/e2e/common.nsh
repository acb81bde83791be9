; Shared by the test installers: silent (with GUI defined, the install page alone, its
; details list shown, closing itself), built for KESTREL_TARGET (x86-ansi,
; x86-unicode or amd64-unicode) with the freshly built plug-in for it, and a results
; file that receives every value a command pushed, one per line.
!ifndef KESTREL_TARGET
  !define KESTREL_TARGET "x86-ansi"
!endif
!if "${KESTREL_TARGET}" == "x86-ansi"
  Unicode false
!else
  Unicode true
!endif
Target "${KESTREL_TARGET}"
!ifdef GUI
  ShowInstDetails show
  AutoCloseWindow true
  Page instfiles
!else
  SilentInstall silent
!endif
RequestExecutionLevel user
OutFile "${OUT_FILE}"
Name "Kestrel test"
!addplugindir /${KESTREL_TARGET} "${PLUGIN_DIR}"

Var results
Var started

!macro OpenResults
  FileOpen $results "${RESULT_FILE}" w
!macroend

; Writes TEXT as one line: FileWrite would convert a Unicode installer's text to the
; ANSI code page, so Unicode installers write UTF-16LE.
!macro WriteResult TEXT
  !if "${KESTREL_TARGET}" == "x86-ansi"
    FileWrite $results "${TEXT}$\r$\n"
  !else
    FileWriteUTF16LE $results "${TEXT}$\r$\n"
  !endif
!macroend

; Pops what the last command pushed and writes it as one line.
!macro Record
  Exch $0
  !insertmacro WriteResult $0
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
  !insertmacro WriteResult "ms=$1"
  Pop $1
!macroend

!macro CloseResults
  FileClose $results
!macroend
