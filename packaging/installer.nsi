; Windows installer of lumeta_show: puts the 32-bit screen saver into its own folder under Program Files,
; makes it the user's screen saver as Windows' "Install" does, and registers an uninstaller that
; removes it and puts the user's previous screen saver back.
;
; Built by scripts/package.sh (through packaging/release.sh):
;   makensis -DVERSION=1.0.0 -DSTAGE=<folder with lumeta_show.scr, imgctl.dll, README.txt, LICENSE.txt>
;            -DOUTFILE=<setup.exe> packaging/installer.nsi
; NSIS's 32-bit stub runs on 32- and 64-bit Windows alike. On 64-bit Windows it installs into
; "Program Files (x86)", and its HKLM keys (the uninstall entry, the install folder) go to the
; registry's 32-bit view, where the uninstaller, a 32-bit program too, finds and removes them.

Unicode true
!ifndef VERSION
  !error "VERSION must be defined"
!endif
!ifndef STAGE
  !error "STAGE must be defined"
!endif
!ifndef OUTFILE
  !error "OUTFILE must be defined"
!endif

!include MUI2.nsh
!include LogicLib.nsh

!define PRODUCT "lumeta_show"
!define DESKTOP_KEY "Control Panel\Desktop"
!define PRODUCT_KEY "Software\lumeta_show"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\lumeta_show"
; Under the current user: the screen-saver settings as they were before the first install.
!define SAVED_KEY "Software\lumeta_show\Setup"
!define SPI_SETSCREENSAVEACTIVE 17
!define SPIF_SENDWININICHANGE 2

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${PRODUCT}"
InstallDirRegKey HKLM "${PRODUCT_KEY}" "InstallDir"
; Program Files and the machine-wide uninstall entry need an administrator.
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} screen saver setup"
VIAddVersionKey /LANG=0 "LegalCopyright" "MIT License"

; makensis works in the folder of this script.
!define MUI_ICON "../resources/lumeta_show.ico"
!define MUI_UNICON "../resources/lumeta_show.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "$(OpenSettingsText)"
!define MUI_FINISHPAGE_RUN_FUNCTION OpenScreenSaverSettings
!insertmacro MUI_PAGE_LICENSE "${STAGE}/LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Japanese"

LangString OpenSettingsText ${LANG_ENGLISH} "Open the screen saver settings"
LangString OpenSettingsText ${LANG_JAPANESE} "スクリーン セーバーの設定を開く"

Var ProgramPath  ; the path of the installed .scr as the screen-saver setting holds it

; The short (8.3) path of the installed .scr, as Windows' "Install" stores it: the screen-saver
; launcher does not quote the value, so a path with blanks would not start. Volumes without short
; names give an empty result; the long path is the only choice there.
!macro FindProgramPath
  GetFullPathName /SHORT $ProgramPath "$INSTDIR\lumeta_show.scr"
  ${If} $ProgramPath == ""
    StrCpy $ProgramPath "$INSTDIR\lumeta_show.scr"
  ${EndIf}
!macroend

Section "lumeta_show"
  SetOutPath "$INSTDIR"
  File "${STAGE}/lumeta_show.scr"
  File "${STAGE}/imgctl.dll"
  File "${STAGE}/README.txt"
  File "${STAGE}/LICENSE.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${PRODUCT_KEY}" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PRODUCT} developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\lumeta_show.scr,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  Call RememberScreenSaver
  !insertmacro FindProgramPath
  WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" "$ProgramPath"
  WriteRegStr HKCU "${DESKTOP_KEY}" "ScreenSaveActive" "1"
  ; Tell the running session that the screen saver is on.
  System::Call 'user32::SystemParametersInfoW(i ${SPI_SETSCREENSAVEACTIVE}, i 1, p 0, i ${SPIF_SENDWININICHANGE})'
SectionEnd

; Keeps the user's screen-saver settings from before the first install, so that the uninstaller can
; put them back. A repeated install keeps what the first one saved.
Function RememberScreenSaver
  ReadRegStr $0 HKCU "${SAVED_KEY}" "Saved"
  ${If} $0 == "1"
    Return
  ${EndIf}
  ClearErrors
  ReadRegStr $0 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${If} ${Errors}
    WriteRegStr HKCU "${SAVED_KEY}" "HadScreenSaver" "0"
  ${Else}
    WriteRegStr HKCU "${SAVED_KEY}" "HadScreenSaver" "1"
    WriteRegStr HKCU "${SAVED_KEY}" "ScreenSaver" "$0"
  ${EndIf}
  ClearErrors
  ReadRegStr $0 HKCU "${DESKTOP_KEY}" "ScreenSaveActive"
  ${If} ${Errors}
    WriteRegStr HKCU "${SAVED_KEY}" "HadScreenSaveActive" "0"
  ${Else}
    WriteRegStr HKCU "${SAVED_KEY}" "HadScreenSaveActive" "1"
    WriteRegStr HKCU "${SAVED_KEY}" "ScreenSaveActive" "$0"
  ${EndIf}
  WriteRegStr HKCU "${SAVED_KEY}" "Saved" "1"
FunctionEnd

; The finish page's check box: Windows' own "Install" command for a screen saver, which selects it
; in the Screen Saver Settings window and opens that window. Silent installs show no pages.
Function OpenScreenSaverSettings
  Exec '"$SYSDIR\rundll32.exe" desk.cpl,InstallScreenSaver $ProgramPath'
FunctionEnd

Section "Uninstall"
  ; Put the previous screen saver back, unless the user has chosen another one since.
  !insertmacro FindProgramPath
  ReadRegStr $0 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${If} $0 == $ProgramPath
  ${OrIf} $0 == "$INSTDIR\lumeta_show.scr"
    Call un.RestoreScreenSaver
  ${EndIf}
  DeleteRegKey HKCU "${SAVED_KEY}"
  DeleteRegKey /ifempty HKCU "${PRODUCT_KEY}"

  Delete "$INSTDIR\lumeta_show.scr"
  Delete "$INSTDIR\imgctl.dll"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  ; The settings file, and the per-user copy that Windows keeps for the 32-bit build when it may not
  ; write to the Windows folder.
  Delete "$WINDIR\lumeta_show.ini"
  Delete "$LOCALAPPDATA\VirtualStore\Windows\lumeta_show.ini"

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "${PRODUCT_KEY}"
SectionEnd

Function un.RestoreScreenSaver
  ReadRegStr $0 HKCU "${SAVED_KEY}" "HadScreenSaver"
  ${If} $0 == "1"
    ReadRegStr $0 HKCU "${SAVED_KEY}" "ScreenSaver"
    WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" "$0"
  ${Else}
    DeleteRegValue HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${EndIf}
  ReadRegStr $0 HKCU "${SAVED_KEY}" "HadScreenSaveActive"
  ${If} $0 == "1"
    ReadRegStr $0 HKCU "${SAVED_KEY}" "ScreenSaveActive"
    WriteRegStr HKCU "${DESKTOP_KEY}" "ScreenSaveActive" "$0"
  ${Else}
    DeleteRegValue HKCU "${DESKTOP_KEY}" "ScreenSaveActive"
    StrCpy $0 "0"
  ${EndIf}
  ${If} $0 != "1"
    StrCpy $0 "0"
  ${EndIf}
  System::Call 'user32::SystemParametersInfoW(i ${SPI_SETSCREENSAVEACTIVE}, i $0, p 0, i ${SPIF_SENDWININICHANGE})'
FunctionEnd
