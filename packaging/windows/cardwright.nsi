; The Windows installer, built by `make windows` with makensis for each build:
;   makensis -DVERSION=1.061 -DVERSION_QUAD=1.61.0.0 -DFLAVOUR=win64|win32 -DPROGRAM_EXE=...
;            -DPROGRAM_COM=... -DREADME=... -DICON=... -DOUTFILE=... cardwright.nsi
; Installs both programs into Program Files, a Start menu entry for the window, the uninstaller
; under "Apps", and (ticked on the components page, or /PATH on a silent install) the folder on
; the system PATH, so that "cardwright" in any console runs the console twin. /S is silent.
; The uninstaller takes back exactly that; the data folder in Documents stays, it is the
; technician's.

Unicode true
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include WinMessages.nsh
!include WordFunc.nsh
!include FileFunc.nsh
!include x64.nsh

!define APP "Cardwright"
!define PUBLISHER "Brevant"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Cardwright"
!define ENVIRONMENT_KEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
!if ${FLAVOUR} == win64
  InstallDir "$PROGRAMFILES64\${APP}"
!else
  InstallDir "$PROGRAMFILES\${APP}"
!endif
Icon "${ICON}"
UninstallIcon "${ICON}"
VIProductVersion "${VERSION_QUAD}"
VIAddVersionKey "ProductName" "${APP}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${APP} ${VERSION} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  !if ${FLAVOUR} == win64
    ${IfNot} ${RunningX64}
      MessageBox MB_ICONSTOP "This is the 64-bit ${APP}; this Windows is 32-bit: use the win32 setup." /SD IDOK
      Abort
    ${EndIf}
    SetRegView 64
  !endif
  ; A silent install puts the folder on the PATH only when asked with /PATH.
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/PATH" $1
  ${IfNot} ${Errors}
    SectionSetFlags 1 ${SF_SELECTED}
  ${EndIf}
FunctionEnd

Function un.onInit
  !if ${FLAVOUR} == win64
    SetRegView 64
  !endif
FunctionEnd

Section "${APP} (window and console command)" SecProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "/oname=cardwright.exe" "${PROGRAM_EXE}"
  File "/oname=cardwright.com" "${PROGRAM_COM}"
  File "/oname=README.txt" "${README}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  SetShellVarContext all
  CreateShortcut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\cardwright.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${APP}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\cardwright.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Unticked unless chosen: the system PATH is every program's.
Section /o "Add the cardwright command to the PATH" SecPath
  ReadRegStr $0 HKLM "${ENVIRONMENT_KEY}" "Path"
  ${If} $0 == ""
    StrCpy $0 "$INSTDIR"
  ${Else}
    StrCpy $0 "$0;$INSTDIR"
  ${EndIf}
  WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" "$0"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "OnPath" 1
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=2000
SectionEnd

Section "Uninstall"
  ReadRegDWORD $0 HKLM "${UNINSTALL_KEY}" "OnPath"
  ${If} $0 == 1
    ReadRegStr $1 HKLM "${ENVIRONMENT_KEY}" "Path"
    ${un.WordReplace} "$1" ";$INSTDIR" "" "+" $1
    ${un.WordReplace} "$1" "$INSTDIR" "" "+" $1
    WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" "$1"
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=2000
  ${EndIf}
  SetShellVarContext all
  Delete "$SMPROGRAMS\${APP}.lnk"
  Delete "$INSTDIR\cardwright.exe"
  Delete "$INSTDIR\cardwright.com"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
