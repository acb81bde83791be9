; Kestrel: installer event reports for NSIS (x86-ansi, x86-unicode and amd64-unicode).
;
;   !include "Kestrel.nsh"
;   ${KestrelPost} "https://example.invalid/events" "install_start&beta&1.2.3" $0
;
; The event text is "name&channel&version"; with fewer than three fields the
; report carries "installer", "marlow" and "0.0.0" instead. Each macro leaves the
; command's number in its last argument.

!ifndef KESTREL_NSH_INCLUDED
!define KESTREL_NSH_INCLUDED

; Sends one report and waits for it: the HTTP status, or 0 when none was obtained
; (no connection, no answer within 5 s, empty URL, or the worker already stopped).
!define KestrelPost "!insertmacro _KestrelPost"
!macro _KestrelPost URL EVENT RESULT
  Kestrel::NSPost `${URL}` `${EVENT}`
  Pop ${RESULT}
!macroend

; Queues one report and returns at once: 1 when queued, 0 when not.
!define KestrelPostAsync "!insertmacro _KestrelPostAsync"
!macro _KestrelPostAsync URL EVENT RESULT
  Kestrel::NSPostAsync `${URL}` `${EVENT}`
  Pop ${RESULT}
!macroend

; Lets queued reports finish within TIMEOUT milliseconds (-1: no limit, 0: no
; waiting), then stops the worker: 1 when it ended in time, 0 when it was cut short.
; Call it before the installer ends; reports still queued are lost otherwise.
!define KestrelWaitDone "!insertmacro _KestrelWaitDone"
!macro _KestrelWaitDone TIMEOUT RESULT
  Kestrel::NSWaitDone `${TIMEOUT}`
  Pop ${RESULT}
!macroend

; The status of the latest report (0 before any, or after KestrelPut).
!define KestrelGet "!insertmacro _KestrelGet"
!macro _KestrelGet RESULT
  Kestrel::NSGet ""
  Pop ${RESULT}
!macroend

!define KestrelGetAsync "!insertmacro _KestrelGetAsync"
!macro _KestrelGetAsync RESULT
  Kestrel::NSGetAsync ""
  Pop ${RESULT}
!macroend

; Clears the latest status to 0.
!define KestrelPut "!insertmacro _KestrelPut"
!macro _KestrelPut RESULT
  Kestrel::NSPut ""
  Pop ${RESULT}
!macroend

!define KestrelPutAsync "!insertmacro _KestrelPutAsync"
!macro _KestrelPutAsync RESULT
  Kestrel::NSPutAsync ""
  Pop ${RESULT}
!macroend

; 1 when reports are on, 0 when the machine turned them off (DO_NOT_TRACK, or the
; DisableReports policy): the other commands then send nothing.
!define KestrelEnabled "!insertmacro _KestrelEnabled"
!macro _KestrelEnabled RESULT
  Kestrel::NSEnabled
  Pop ${RESULT}
!macroend

; Later reports also carry the run's context: session_id, elapsed_ms, os_version,
; os_arch, process_arch and ui_language. 1, or 0 when reports are off or stopped.
!define KestrelAddContext "!insertmacro _KestrelAddContext"
!macro _KestrelAddContext RESULT
  Kestrel::NSAddContext
  Pop ${RESULT}
!macroend

; Later reports also carry "KEY":"VALUE" (an empty VALUE removes it). KEY is 1 to 64
; of a-z, 0-9 and _, starting with a letter, and not a member of the report; VALUE
; at most 256 bytes; at most 16 fields. 1 when set, 0 when refused.
!define KestrelSetField "!insertmacro _KestrelSetField"
!macro _KestrelSetField KEY VALUE RESULT
  Kestrel::NSSetField `${KEY}` `${VALUE}`
  Pop ${RESULT}
!macroend

; Why the latest report attempt ended, or the latest report was refused, as a word, a
; space and a number: "ok 200", "http 404", "dns 12007", "timeout 0", "tls 12157",
; "off 0", "none 0" before any (see the README's "When reports do not arrive").
!define KestrelGetError "!insertmacro _KestrelGetError"
!macro _KestrelGetError RESULT
  Kestrel::NSGetError
  Pop ${RESULT}
!macroend

!endif
