; Runs the steps a test generated (STEPS: an include file of NSIS lines, read in
; STEPS_CHARSET).
!include "common.nsh"

Section
  !insertmacro OpenResults
  !include /CHARSET=${STEPS_CHARSET} "${STEPS}"
  !insertmacro CloseResults
SectionEnd
