; Reports the start, the success or the failure of an installation, and waits for
; the queued reports before the installer ends. The reports form a funnel: each
; carries the run's context (one session id for the run, the time since it started,
; the Windows version, architecture and UI language) and the step the installer is
; at, so that a failure says where it happened and with which error code.
;
;   makensis -DKESTREL_URL=https://analytics.example.invalid/v1/events report.nsi
;
; With -DKESTREL_FORMAT=posthog (or amplitude, mixpanel, segment, ga4) and
; -DKESTREL_KEY=<the vendor's write key>, the reports go out in that vendor's own body,
; to the vendor's URL given as KESTREL_URL (the README's "Reporting into your analytics").
; The key is compiled into the installer: only a vendor's public write key belongs there.
;
; With -DKESTREL_MACHINE_SALT=<your product's own salt>, the reports of the installer and of
; its uninstaller (uninstall-example.exe, written beside it) count this machine by one
; id, so that the uninstall joins its install (the README's "Counting machines"). Reading
; the machine's id needs the user's consent in the EU: ask first, then do this.
;
; The installer is built for KESTREL_TARGET: x86-unicode unless given, or x86-ansi,
; or amd64-unicode (-DKESTREL_TARGET=amd64-unicode); makensis takes the Kestrel.dll
; of the same name from its Plugins folder.

!ifndef KESTREL_TARGET
  !define KESTREL_TARGET "x86-unicode"
!endif
!if "${KESTREL_TARGET}" == "x86-ansi"
  Unicode false
!else
  Unicode true
!endif
Target "${KESTREL_TARGET}"
Name "Kestrel example"
OutFile "report-example.exe"
RequestExecutionLevel user
SilentInstall silent
SilentUnInstall silent

!ifndef KESTREL_URL
  !define KESTREL_URL "https://analytics.example.invalid/v1/events"
!endif
!ifndef KESTREL_KEY
  !define KESTREL_KEY ""
!endif
!define CHANNEL "beta"
!define APP_VERSION "1.2.3"
; The exit code of the stand-in for a prerequisite's setup below; not 0 makes it fail.
!ifndef PREREQUISITE_EXIT
  !define PREREQUISITE_EXIT 0
!endif

!include "Kestrel.nsh"

Var log

; The installer's and the uninstaller's first steps: the format, the machine's id, the context.
!macro BeginReports
!ifdef KESTREL_FORMAT
  ; Before any report: every report from here on is sent in the vendor's body. Refused
  ; (a misspelt name, a missing key), every report is refused too, rather than sent in a
  ; shape the vendor drops.
  ${KestrelSetFormat} "${KESTREL_FORMAT}" "${KESTREL_KEY}" $0
  FileWrite $log "format ${KESTREL_FORMAT}: $0$\r$\n"
!endif
!ifdef KESTREL_MACHINE_SALT
  ; The same id in the installer and the uninstaller, and after a reinstall; empty when
  ; reports are off, and then nothing is set.
  ${KestrelMachineId} "${KESTREL_MACHINE_SALT}" $1
  StrCmp $1 "" machine_id_set
    ${KestrelSetDeviceId} $1 $0
  machine_id_set:
!endif
  ; Every report queued from here on carries the context.
  ${KestrelAddContext} $0
!macroend

Function .onInit
  FileOpen $log "$EXEDIR\report-example.log" w
  !insertmacro BeginReports
  ; And the step, as "step".
  ${KestrelSetField} "step" "start" $0
  ; Queued: the installer goes on while the report is sent.
  ${KestrelPostAsync} "${KESTREL_URL}" "install_start&${CHANNEL}&${APP_VERSION}" $0
  FileWrite $log "install_start queued: $0$\r$\n"
FunctionEnd

Section "Install"
  ${KestrelSetField} "step" "files" $0
  InitPluginsDir
  SetOutPath "$PLUGINSDIR\app"
  ClearErrors
  FileOpen $1 "$PLUGINSDIR\app\readme.txt" w
  FileWrite $1 "Kestrel example$\r$\n"
  FileClose $1
  IfErrors 0 files_written
    ${KestrelSetField} "error_code" "file_not_written" $0
    Abort "could not write the application files"
  files_written:

  ${KestrelSetField} "step" "prerequisite" $0
  ExecWait '"$SYSDIR\cmd.exe" /c exit ${PREREQUISITE_EXIT}' $1
  IntCmp $1 0 prerequisite_done
    ${KestrelSetField} "error_code" "$1" $0
    Abort "the prerequisite's setup failed"
  prerequisite_done:
  ${KestrelSetField} "step" "done" $0
  WriteUninstaller "$EXEDIR\uninstall-example.exe"

  ; Waits for the answer: the HTTP status, or 0 when none came (no network,
  ; no answer within 5 s). A silent installer can afford the wait; one the user
  ; watches queues its reports instead (the README's quick start).
  ${KestrelPost} "${KESTREL_URL}" "install_success&${CHANNEL}&${APP_VERSION}" $0
  FileWrite $log "install_success sent: HTTP $0$\r$\n"
  ; Not taken (no 2xx): say why, and queue a new success report carrying the reason,
  ; so that the endpoint learns what stood in the way (queued reports are retried
  ; through passing failures). It has an id of its own: if the first arrived after all,
  ; the endpoint sees the success twice.
  IntCmp $0 200 success_delivered success_failed 0
  IntCmp $0 299 success_delivered success_delivered success_failed
  success_failed:
    ${KestrelGetError} $1
    DetailPrint "The success report was not delivered: $1"
    FileWrite $log "install_success not delivered: $1$\r$\n"
    ${KestrelSetField} "delivery_error" "$1" $0
    ${KestrelPostAsync} "${KESTREL_URL}" "install_success&${CHANNEL}&${APP_VERSION}" $0
  success_delivered:
SectionEnd

; Sent with the step that failed and its error code.
Function .onInstFailed
  ${KestrelPostAsync} "${KESTREL_URL}" "install_failure&${CHANNEL}&${APP_VERSION}" $0
  FileWrite $log "install_failure queued: $0$\r$\n"
  Call WaitForReports
FunctionEnd

Function .onInstSuccess
  Call WaitForReports
FunctionEnd

Function un.onInit
  FileOpen $log "$EXEDIR\uninstall-example.log" w
  !insertmacro BeginReports
FunctionEnd

Section "Uninstall"
  ${KestrelPostAsync} "${KESTREL_URL}" "uninstall&${CHANNEL}&${APP_VERSION}" $0
  ${KestrelWaitDone} 10000 $0
  FileWrite $log "NSWaitDone: $0$\r$\n"
  FileClose $log
SectionEnd

; Without this, what is still queued or in flight at the installer's end gets at most
; 1 s, then is given up, and a report awaiting a retry is given up at once: give them
; up to 10 s. The tally then says how the run's reports went.
Function WaitForReports
  ${KestrelWaitDone} 10000 $0
  FileWrite $log "NSWaitDone: $0 (1: every report finished)$\r$\n"
  ${KestrelTally} $1 $2 $3
  FileWrite $log "reports: $1 taken, $2 failed, $3 waiting$\r$\n"
  FileClose $log
FunctionEnd
