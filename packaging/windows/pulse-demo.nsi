; The Windows installer of pulse-demo, built with NSIS:
;   makensis -DSOURCE=<deployed folder> -DVERSION=1.0.0 -DOUTFILE=<setup.exe> -DICON=<.ico> -DFILES=<files.nsh> pulse-demo.nsi
; <files.nsh> lists the deployed files (scripts/test-windows.sh writes it), so
; that the uninstaller removes exactly those and never anything else, such as
; records. Installs for the current user or for all users (asked, or
; /CurrentUser and /AllUsers on the command line; /S for a silent install).
Unicode true
Target amd64-unicode ; the program is 64-bit, and so is its installer
ManifestDPIAware true

!define NAME "脉搏数字传感器采样演示"
!define KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\pulse-demo"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_INSTDIR "pulse-demo"
!define MULTIUSER_USE_PROGRAMFILES64
!include MultiUser.nsh
!include MUI2.nsh

Name "${NAME}"
OutFile "${OUTFILE}"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"

!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

Function .onInit
  !insertmacro MULTIUSER_INIT
FunctionEnd

Function un.onInit
  !insertmacro MULTIUSER_UNINIT
FunctionEnd

Section
  SetOutPath "$INSTDIR"
  File /r "${SOURCE}/*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ; The launcher starts the program in Documents\脉搏记录, where records go.
  CreateShortCut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\pulse-demo-launcher.exe" "" "$INSTDIR\pulse-demo.exe" 0
  WriteRegStr SHCTX "${KEY}" "DisplayName" "${NAME}"
  WriteRegStr SHCTX "${KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${KEY}" "DisplayIcon" "$INSTDIR\pulse-demo.exe,0"
  WriteRegStr SHCTX "${KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode /S'
  WriteRegDWORD SHCTX "${KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\${NAME}.lnk"
  !include "${FILES}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR" ; only if empty: whatever else is there stays
  DeleteRegKey SHCTX "${KEY}"
SectionEnd
