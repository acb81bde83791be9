; Kestrel: installer event reports for NSIS (x86-ansi, x86-unicode and amd64-unicode).
;
;   !include "Kestrel.nsh"
;   ${KestrelPostAsync} "https://example.invalid/events" "install_start&beta&1.2.3" $0
;   ...
;   ${KestrelWaitDone} 3000 $0   ; at the end: what is queued gets at most 3 s more
;
; The event text is "name&channel&version"; with fewer than three fields the
; report carries "installer", "marlow" and "0.0.0" instead. Each macro leaves the
; command's result in its last argument: a number, or KestrelGetError's text.

!ifndef KESTREL_NSH_INCLUDED
!define KESTREL_NSH_INCLUDED

!include "FileFunc.nsh"
!include "LogicLib.nsh"

; Sends one report and waits for it, and for those queued before it: the HTTP status,
; or 0 when none was obtained (no connection, no answer within 5 s, empty URL, or
; after KestrelWaitDone). It can hold the installer 5 s a report: at the end, queue
; with KestrelPostAsync and call KestrelWaitDone with a limit instead.
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
; waiting), then stops the worker: 1 when it ended in time, 0 when it was cut short. Retries
; that cannot end in time (due later, or after no network) are given up once nothing else is left.
; Later report commands push 0. Without it, what is queued or in flight at the
; installer's end gets at most 1 s, then is given up; a report awaiting a retry at once.
!define KestrelWaitDone "!insertmacro _KestrelWaitDone"
!macro _KestrelWaitDone TIMEOUT RESULT
  Kestrel::NSWaitDone `${TIMEOUT}`
  Pop ${RESULT}
!macroend

; The status of the latest report once those queued before it ran (0 before any, after
; KestrelPut, or after KestrelWaitDone). Get, Put and their Async forms pass an unused "".
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

; Clears the latest status to 0, and KestrelGetError's text to "none 0".
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
; os_arch, process_arch, ui_language and installer_language (the language of $LANGUAGE
; when each report is queued). 1, or 0 when reports are off or stopped.
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

; Later reports are sent in an analytics vendor's own body: NAME is posthog, amplitude,
; mixpanel, segment (or rudderstack: one body), ga4 or kestrel (the plug-in's own
; document, the default), in any letter case; KEY is the vendor's write key, "" for ga4
; and kestrel (GA4's keys go in the URL's query). The key is never traced. 1, or 0 when
; refused: an unknown NAME, no KEY where the vendor needs one, a KEY for ga4 or kestrel,
; one over 256 bytes, or a format whose body sets a field set already with
; KestrelSetField; every later report is then refused too ("invalid 0", nothing sent)
; until a KestrelSetFormat is taken. Also 0, changing nothing, when reports are off or
; after KestrelWaitDone. Call it before the first report: Kestrel's document is refused
; at a vendor's own host.
!define KestrelSetFormat "!insertmacro _KestrelSetFormat"
!macro _KestrelSetFormat NAME KEY RESULT
  Kestrel::NSSetFormat `${NAME}` `${KEY}`
  Pop ${RESULT}
!macroend

; How the report whose status the script was last given ended (KestrelPost's own, the
; one KestrelGet pushed, or a refused report's reason), as a word, a space and a number:
; "ok 200", "http 404", "dns 12007", "timeout 0", "tls 12157", "url 0", "off 0",
; "stopped 0", and for a vendor format "refused 200" (a 2xx whose body says the event
; was not taken) or "invalid 0" (refused before sending); "none 0" before any and after
; KestrelPut. Queueing leaves it as it was (see the README's "When reports do not
; arrive").
!define KestrelGetError "!insertmacro _KestrelGetError"
!macro _KestrelGetError RESULT
  Kestrel::NSGetError
  Pop ${RESULT}
!macroend

; Later reports count this machine by ID instead of the run: each vendor's per-device id
; (PostHog's distinct_id, Amplitude's device_id, Mixpanel's distinct_id and $device_id,
; Segment's anonymousId, GA4's client_id), and device_id in Kestrel's document. ID is 5 to 64
; letters, digits, -, _, { and }, and no placeholder such as "anonymous". Traced by its
; length only. 1 when set, 0 when refused. An empty ID withdraws it (1): later reports count
; by the run again.
!define KestrelSetDeviceId "!insertmacro _KestrelSetDeviceId"
!macro _KestrelSetDeviceId ID RESULT
  Kestrel::NSSetDeviceId `${ID}`
  Pop ${RESULT}
!macroend

; A stable anonymous id for this machine and the product that SALT names: 32 hexadecimal
; digits, the same in the installer and the uninstaller, different for every SALT, never
; stored or traced. Reading it needs the user's consent in the EU (see the README's
; "Counting machines"). Empty when reports are off, SALT is empty, or the machine has none.
!define KestrelMachineId "!insertmacro _KestrelMachineId"
!macro _KestrelMachineId SALT RESULT
  Kestrel::NSMachineId `${SALT}`
  Pop ${RESULT}
!macroend

; This run's reports so far, without waiting: how many were TAKEN (a 2xx the vendor's
; reader accepted), how many FAILED for good (refused before sending, or given up after
; their last attempt: a 404, "invalid", no connection...; reports the machine turned off
; count nowhere) and how many are still WAITING
; (queued, in flight or awaiting a retry). After KestrelWaitDone, the run's final count.
!define KestrelTally "!insertmacro _KestrelTally"
!macro _KestrelTally TAKEN FAILED WAITING
  Kestrel::NSTally
  Pop ${TAKEN}
  Pop ${FAILED}
  Pop ${WAITING}
!macroend

; The next report queued carries "details": the last LINES (1 to 50) lines of the
; installer's details list as they stand then (in a silent run, or with an empty list, the
; lines kept by KestrelDetailPrint and KestrelAddDetail), oldest first, with the user's
; profile folder, user name and computer name replaced by %USERPROFILE%, %USERNAME% and
; %COMPUTERNAME%; at most 4 KiB (less in some vendors' formats: see the README's "Why
; installs fail"). Later reports carry none until it is called again. 1, or 0 when LINES is
; out of range, reports are off or after KestrelWaitDone.
!define KestrelAttachDetails "!insertmacro _KestrelAttachDetails"
!macro _KestrelAttachDetails LINES RESULT
  Kestrel::NSAttachDetails `${LINES}`
  Pop ${RESULT}
!macroend

; Keeps TEXT among the last 50 lines (each cut to 512 bytes) that a silent run attaches.
; 1 when kept, 0 when reports are off or after KestrelWaitDone.
!define KestrelAddDetail "!insertmacro _KestrelAddDetail"
!macro _KestrelAddDetail TEXT RESULT
  Kestrel::NSAddDetail `${TEXT}`
  Pop ${RESULT}
!macroend

; DetailPrint TEXT, and keeps it as KestrelAddDetail does, changing no variable.
!define KestrelDetailPrint "!insertmacro _KestrelDetailPrint"
!macro _KestrelDetailPrint TEXT
  DetailPrint `${TEXT}`
  Push $0
  Kestrel::NSAddDetail `${TEXT}`
  Pop $0
  Pop $0
!macroend

; Asking first: the consent page and the user's answer. The page writes nothing to the
; machine; a script that reports from its uninstaller stores the answer itself.
;
;   !define KESTREL_CONSENT_LEAVE StartReports   ; optional: called each time Next leaves the page
;   !insertmacro KESTREL_PAGE_CONSENT            ; among the pages, after MUI2.nsh if it is used
;   ...
;   ${KestrelConsent} $0                         ; 1: the box was ticked, or /KESTRELCONSENT=1
;
; One checkbox, unticked unless the installer was started with /KESTRELCONSENT=1; after Back
; the page shows the box as it was left. In the MUI2 look (MUI_HEADER_TEXT) when MUI2.nsh was
; included before, a plain page otherwise. Skipped, with its leave function, when reports are
; off on this machine, and by NSIS itself in a silent run. Its texts, defaults below, change
; or translate with !define before the macro (a LangString's $(name) works too):
; KESTREL_CONSENT_TITLE (the header and the window's caption), KESTREL_CONSENT_SUBTITLE,
; KESTREL_CONSENT_TEXT and KESTREL_CONSENT_CHECKBOX.

!macro _KestrelConsentVariables
  !ifndef _KESTREL_CONSENT_VARIABLES
    !define _KESTREL_CONSENT_VARIABLES
    Var /GLOBAL KestrelConsentBox
    Var /GLOBAL KestrelConsentTicked  ; "" until the page is left, then the box's 0 or 1
  !endif
!macroend

; 1 when the user ticked the box when last leaving the page (Next or Back), or, before that
; and in a silent run, when the command line holds /KESTRELCONSENT=1 (for admins who consent
; for silent deployments); else 0.
!define KestrelConsent "!insertmacro _KestrelConsent"
!macro _KestrelConsent RESULT
  !insertmacro _KestrelConsentVariables
  Push $0
  StrCpy $0 $KestrelConsentTicked
  ${If} $0 == ""
    ${GetParameters} $0
    ${GetOptions} $0 "/KESTRELCONSENT=" $0
  ${EndIf}
  ${IfThen} $0 != 1 ${|} StrCpy $0 0 ${|}
  Exch $0
  Pop ${RESULT}
!macroend

!macro KESTREL_PAGE_CONSENT
  !ifndef _KESTREL_CONSENT_PAGE
  !define _KESTREL_CONSENT_PAGE
  !ifndef KESTREL_CONSENT_TITLE
    !define KESTREL_CONSENT_TITLE "Usage reports"
  !endif
  !ifndef KESTREL_CONSENT_SUBTITLE
    !define KESTREL_CONSENT_SUBTITLE "Help improve $(^NameDA)."
  !endif
  !ifndef KESTREL_CONSENT_TEXT
    !define KESTREL_CONSENT_TEXT "$(^NameDA) would like to send reports of how this installation goes (started, finished, failed or cancelled) and of a later removal, with the Windows version and language and an id for this computer made for $(^NameDA) alone. They carry no name, file or address."
  !endif
  !ifndef KESTREL_CONSENT_CHECKBOX
    !define KESTREL_CONSENT_CHECKBOX "Send usage reports"
  !endif
  !include "nsDialogs.nsh"
  !insertmacro _KestrelConsentVariables
  Page custom KestrelConsentPageShow KestrelConsentPageLeave ": ${KESTREL_CONSENT_TITLE}"
  Function KestrelConsentPageShow
    Push $0
    Kestrel::NSEnabled
    Pop $0
    ${If} $0 != 1
      Pop $0
      Abort  ; reports are off: nothing to ask
    ${EndIf}
    !ifdef MUI_INCLUDED
      !insertmacro MUI_HEADER_TEXT "${KESTREL_CONSENT_TITLE}" "${KESTREL_CONSENT_SUBTITLE}"
    !endif
    nsDialogs::Create 1018
    Pop $0
    ${NSD_CreateLabel} 0 0 100% 64u "${KESTREL_CONSENT_TEXT}"
    Pop $0
    ${NSD_CreateCheckbox} 0 72u 100% 12u "${KESTREL_CONSENT_CHECKBOX}"
    Pop $KestrelConsentBox
    ${KestrelConsent} $0
    ${IfThen} $0 == 1 ${|} ${NSD_Check} $KestrelConsentBox ${|}
    ${NSD_OnBack} KestrelConsentPageKeep
    ${NSD_SetFocus} $KestrelConsentBox
    Pop $0
    nsDialogs::Show
  FunctionEnd
  Function KestrelConsentPageKeep
    ${NSD_GetState} $KestrelConsentBox $KestrelConsentTicked
  FunctionEnd
  Function KestrelConsentPageLeave
    Call KestrelConsentPageKeep
    !ifdef KESTREL_CONSENT_LEAVE
      Call ${KESTREL_CONSENT_LEAVE}
    !endif
  FunctionEnd
  !endif
!macroend

!endif
