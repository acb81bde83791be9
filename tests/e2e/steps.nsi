; Runs the steps a test generated (STEPS: an include file of NSIS lines).
!include "common.nsh"

Section
  !insertmacro OpenResults
  !include /CHARSET=CP1252 "${STEPS}"
  !insertmacro CloseResults
SectionEnd
