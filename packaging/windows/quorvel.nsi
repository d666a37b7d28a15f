; The Windows installer (NSIS, Modern UI), made by scripts/windows-release.sh,
; which defines on the command line:
;   VERSION    the project's version (0.1)    VERSION4   the same in four parts
;   STAGE      the folder of files to install OUTFILE    the setup file
;   ICON       the program's icon             LICENSE    the licence terms (CRLF)
;   SIZE_KB    the size of STAGE
;   INSTALLED  the generated list that installs every file of STAGE
;   REMOVED    the generated list that deletes exactly those files
; The uninstaller removes only what the installer wrote: files a user put into
; the program folder (or a folder that held other files before) stay, and the
; folder goes only when nothing else is left in it.
; /S installs or removes silently; /CurrentUser installs for the current user
; alone (no administrator rights needed), /AllUsers for everyone; /D=FOLDER
; (last on the command line) names the folder.
Unicode true
Target amd64-unicode
ManifestDPIAware true

!define APP "Quorvel"
!define PUBLISHER "Quorvel developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvel"
; Held by quorvel.exe and quorvel-cli.exe while they run.
!define RUNNING_MUTEX "QuorvelRunning"

Name "${APP}"
OutFile "${OUTFILE}"
BrandingText "${APP} ${VERSION}"

VIProductVersion "${VERSION4}"
VIAddVersionKey /LANG=1033 "ProductName" "${APP}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${APP} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "2026 ${PUBLISHER}"

; For everyone (Program Files, administrator) or for the current user alone
; (the user's own program folder). The folder of an earlier install is read
; back from its uninstall entry, in the same mode, so an upgrade goes over it.
!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR "${APP}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "InstallLocation"
!include MultiUser.nsh
!include MUI2.nsh
!include LogicLib.nsh

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\quorvel.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start Quorvel"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Files of a running program cannot be replaced or removed: setup and the
; uninstaller refuse to start then.
!macro REFUSE_WHILE_RUNNING
  System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${RUNNING_MUTEX}") p .r0'
  ${If} $0 P<> 0
    System::Call 'kernel32::CloseHandle(p r0)'
    MessageBox MB_OK|MB_ICONSTOP "Quorvel is running. Close its window and every quorvel-cli, then start again." /SD IDOK
    SetErrorLevel 3
    Quit
  ${EndIf}
!macroend

Function .onInit
  ; A folder given with /D= is kept; otherwise the mode's default or the earlier install's.
  StrCpy $1 $INSTDIR
  !insertmacro MULTIUSER_INIT
  ${If} $1 != ""
    StrCpy $INSTDIR $1
  ${EndIf}
  !insertmacro REFUSE_WHILE_RUNNING
FunctionEnd

Function un.onInit
  ; The uninstaller removes from its own folder, whatever the registry says.
  StrCpy $1 $INSTDIR
  !insertmacro MULTIUSER_UNINIT
  StrCpy $INSTDIR $1
  !insertmacro REFUSE_WHILE_RUNNING
FunctionEnd

Section
  !include "${INSTALLED}"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Quorvel.lnk" "$INSTDIR\quorvel.exe"
  ; SHCTX: HKLM for everyone, HKCU for the current user.
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${APP}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\quorvel.exe",0'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\Quorvel.lnk"
  !include "${REMOVED}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
