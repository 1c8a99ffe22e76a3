; The Windows installer of the TOLVAN DDE Server: a per-user install, without
; administrator rights, into %LOCALAPPDATA%\Programs\TolvanDDE, with Start
; menu shortcuts, an optional Start with Windows, and an uninstaller that
; Windows lists under the user's installed programs.
;
; Built by cmake/Installer.cmake, which passes the files as defines:
;   VERSION, VERSION4 (a.b.c.d), OUTFILE, BRIDGE_EXE, SIM_EXE, VIEWER_EXE,
;   SOURCE_DIR (the repository: README, LICENSE, the example settings file,
;   the sample feed, the icon).
;
; Silent use:
;   TolvanDDE-setup.exe /S [/STARTWITHWINDOWS] [/D=C:\folder]
;   uninstall.exe /S [/REMOVESETTINGS]

Target amd64-unicode
Unicode true
ManifestDPIAware true
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh

!define PRODUCT "TOLVAN DDE Server"
!define PUBLISHER "The TOLVAN DDE Server developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TolvanDDE"
; The program itself reads and writes the same value from its Options.
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "TolvanDDE"
!define WINDOW_CLASS "TolvanDdeServerMain"
; The installed program keeps its settings (and its debug log) here.
!define SETTINGS_DIR "$APPDATA\TolvanDDE"
!define MENU_DIR "$SMPROGRAMS\${PRODUCT}"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\TolvanDDE"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION4}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} installer"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "MIT License, ${PUBLISHER}"

!define MUI_ICON "${SOURCE_DIR}/app/tolvan.ico"
!define MUI_UNICON "${SOURCE_DIR}/app/tolvan.ico"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT} now"
!define MUI_FINISHPAGE_RUN_FUNCTION StartBridge

!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!define MUI_COMPONENTSPAGE_TEXT_TOP "Your settings in ${SETTINGS_DIR} stay unless you tick them below."
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; Ends every running copy of the bridge that was started from $INSTDIR, so
; that its files can be replaced or removed. Other copies (a portable one
; from the zip) go on running. Asks first, unless silent.
!macro CLOSE_RUNNING_BRIDGE UN
Function ${UN}CloseRunningBridge
  Push $R0
  Push $R1
  Push $R2
  Push $R3
  Push $R4
  StrCpy $R4 0 ; how many were asked to end
  StrCpy $R0 0
  ${Do}
    FindWindow $R0 "${WINDOW_CLASS}" "" 0 $R0
    ${If} $R0 == 0
      ${Break}
    ${EndIf}
    System::Call 'user32::GetWindowThreadProcessId(p R0, *i .R1)'
    ; PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE
    System::Call 'kernel32::OpenProcess(i 0x101000, i 0, i R1) p .R2'
    ${If} $R2 != 0
      System::Call 'kernel32::QueryFullProcessImageNameW(p R2, i 0, w .R3, *i ${NSIS_MAX_STRLEN})'
      ${If} $R3 == "$INSTDIR\TolvanDDE.exe"
      ${AndIf} $R4 < 20
        ${If} $R4 == 0
          MessageBox MB_OKCANCEL|MB_ICONQUESTION "${PRODUCT} is running. OK ends it, so that its files can be replaced or removed." /SD IDOK IDOK end_it
          System::Call 'kernel32::CloseHandle(p R2)'
          Abort "${PRODUCT} is still running."
          end_it:
        ${EndIf}
        IntOp $R4 $R4 + 1
        SendMessage $R0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
        System::Call 'kernel32::WaitForSingleObject(p R2, i 10000)'
        StrCpy $R0 0 ; that window is gone: search again from the start
      ${EndIf}
      System::Call 'kernel32::CloseHandle(p R2)'
    ${EndIf}
  ${Loop}
  Pop $R4
  Pop $R3
  Pop $R2
  Pop $R1
  Pop $R0
FunctionEnd
!macroend
!insertmacro CLOSE_RUNNING_BRIDGE ""
!insertmacro CLOSE_RUNNING_BRIDGE "un."

; Removes the Start with Windows value when it starts the program in
; $INSTDIR (and not a portable copy elsewhere).
!macro REMOVE_OUR_RUN_VALUE
  ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
  StrLen $1 '"$INSTDIR\'
  StrCpy $2 $0 $1
  ${If} $2 == '"$INSTDIR\'
    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}
!macroend

Section "${PRODUCT}" SecProgram
  SectionIn RO
  Call CloseRunningBridge
  SetOutPath "$INSTDIR"
  File "${BRIDGE_EXE}"
  File "${SIM_EXE}"
  File "${VIEWER_EXE}"
  File "${SOURCE_DIR}/tools/decoder_sim/sample_feed.txt"
  File "${SOURCE_DIR}/README.md"
  File "${SOURCE_DIR}/LICENSE"
  ; Not TolvanDDE.ini: a file of that name beside the program would be the
  ; settings file, and the installed program keeps its settings in
  ; ${SETTINGS_DIR}, which the uninstaller leaves alone.
  File "/oname=TolvanDDE.example.ini" "${SOURCE_DIR}/app/TolvanDDE.ini"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The shortcuts start the program in the settings folder, so that its
  ; debug log (written to the working folder) lands beside the settings.
  CreateDirectory "${SETTINGS_DIR}"
  SetOutPath "${SETTINGS_DIR}"
  CreateDirectory "${MENU_DIR}"
  CreateShortcut "${MENU_DIR}\${PRODUCT}.lnk" "$INSTDIR\TolvanDDE.exe" "" "$INSTDIR\TolvanDDE.exe" 0
  CreateShortcut "${MENU_DIR}\README.lnk" "$WINDIR\notepad.exe" '"$INSTDIR\README.md"'
  SetOutPath "$INSTDIR"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\TolvanDDE.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section /o "Start with Windows" SecStartWithWindows
  WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\TolvanDDE.exe" --minimized'
SectionEnd

; Unticked on a reinstall: the value this program had is removed.
Section "-StartWithWindowsOff"
  ${IfNot} ${SectionIsSelected} ${SecStartWithWindows}
    !insertmacro REMOVE_OUR_RUN_VALUE
  ${EndIf}
SectionEnd

; From the finish page: started in the settings folder, as the shortcut does.
Function StartBridge
  SetOutPath "${SETTINGS_DIR}"
  Exec '"$INSTDIR\TolvanDDE.exe"'
  SetOutPath "$INSTDIR"
FunctionEnd

Function .onInit
  ; Ticked when asked for, and when it is on already (set from the program).
  ${GetOptions} $CMDLINE "/STARTWITHWINDOWS" $0
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecStartWithWindows}
  ${EndIf}
  ClearErrors
  ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecStartWithWindows}
  ${EndIf}
FunctionEnd

Section "un.${PRODUCT}" UnProgram
  SectionIn RO
  Call un.CloseRunningBridge
  Delete "$INSTDIR\TolvanDDE.exe"
  Delete "$INSTDIR\decoder_sim.exe"
  Delete "$INSTDIR\record_viewer.exe"
  Delete "$INSTDIR\sample_feed.txt"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\LICENSE"
  Delete "$INSTDIR\TolvanDDE.example.ini"
  ; The debug log, when the program was started from its own folder.
  Delete "$INSTDIR\xmlfile.log"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  Delete "${MENU_DIR}\${PRODUCT}.lnk"
  Delete "${MENU_DIR}\README.lnk"
  RMDir "${MENU_DIR}"

  !insertmacro REMOVE_OUR_RUN_VALUE
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

Section /o "un.My settings and debug log" UnSettings
  RMDir /r "${SETTINGS_DIR}"
SectionEnd

Function un.onInit
  ${un.GetOptions} $CMDLINE "/REMOVESETTINGS" $0
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${UnSettings}
  ${EndIf}
FunctionEnd
