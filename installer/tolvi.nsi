; The tolvi installer: a per-user install without administrator rights into
; %LOCALAPPDATA%\Programs\tolvi, a Start menu shortcut and an uninstaller that the current
; user's Apps list shows. /S installs or uninstalls silently. The connector configuration
; is the user's and stays when the program goes, so a new install finds it again.
;
;     makensis -DVERSION=1.001 -DPROGRAM=<tolvi.exe> -DRELAY=<tolvi-relay.exe>
;              -DHELP=<tolvi.html> -DSOURCE=<source tree> -DOUTFILE=<installer.exe> tolvi.nsi

!ifndef VERSION | PROGRAM | RELAY | HELP | SOURCE | OUTFILE
  !error "VERSION, PROGRAM, RELAY, HELP, SOURCE and OUTFILE must be defined"
!endif

Unicode true
; A 64-bit installer: the program is 64-bit, and a 32-bit stub would need WOW64 to run.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!define PRODUCT "tolvi"
!define TITLE "Named Pipe TCP Proxy"
!define PUBLISHER "tolvi contributors"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\tolvi"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "Tolvi"
!define SHORTCUT "$SMPROGRAMS\tolvi.lnk"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\tolvi"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) ${PUBLISHER}, MIT licence"

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "WinMessages.nsh"

!define MUI_ICON "${SOURCE}\res\art\program.ico"
!define MUI_UNICON "${SOURCE}\res\art\program.ico"
!define MUI_FINISHPAGE_RUN "$INSTDIR\tolvi.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT} now"
!insertmacro MUI_PAGE_LICENSE "${SOURCE}\LICENSE"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; A running tolvi.exe holds its file open: it is asked to end, as its own Exit would, and
; waited for, so that its files can be replaced or removed. With "Minimize to tray on exit"
; the first close only hides the window in the tray, and the next one ends the program.
!macro CLOSE_PROGRAM un
Function ${un}CloseProgram
  StrCpy $1 0
  ${Do}
    FindWindow $0 "" "${TITLE}"
    ${If} $0 = 0
    ${OrIf} $1 >= 10
      ${Break}
    ${EndIf}
    System::Call "user32::GetWindowThreadProcessId(p r0, *i 0 r2)"
    System::Call "kernel32::OpenProcess(i 0x00100000, i 0, i r2) p .r3"  ; SYNCHRONIZE
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
    ${If} $3 P<> 0
      System::Call "kernel32::WaitForSingleObject(p r3, i 2000)"
      System::Call "kernel32::CloseHandle(p r3)"
    ${EndIf}
    IntOp $1 $1 + 1
  ${Loop}
FunctionEnd
!macroend
!insertmacro CLOSE_PROGRAM ""
!insertmacro CLOSE_PROGRAM "un."

Section "tolvi"
  Call CloseProgram
  SetOutPath "$INSTDIR"
  File "${PROGRAM}"
  File "${RELAY}"
  File "${HELP}"
  File "${SOURCE}\README.md"
  File "${SOURCE}\LICENSE"
  File "${NOTICES}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "${SHORTCUT}" "$INSTDIR\tolvi.exe" "" "$INSTDIR\tolvi.exe" 0 SW_SHOWNORMAL \
      "" "${TITLE}"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} - ${TITLE}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tolvi.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  Call un.CloseProgram
  Delete "$INSTDIR\tolvi.exe"
  Delete "$INSTDIR\tolvi-relay.exe"
  Delete "$INSTDIR\tolvi.html"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\LICENSE"
  Delete "$INSTDIR\THIRD-PARTY-NOTICES.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"  ; only when nothing else was put there
  Delete "${SHORTCUT}"

  ; The start-with-Windows entry goes only when it starts this copy of the program.
  ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${If} $0 == '"$INSTDIR\tolvi.exe" /minimized'
    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
