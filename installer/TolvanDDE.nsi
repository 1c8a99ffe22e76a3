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
;
; The user's own files are never replaced or removed. The installer lists
; every file it puts in the install folder in installed-files.txt there, and
; the uninstaller removes those and nothing else. A folder that holds anything
; but an earlier install is refused when silent (exit code 2, nothing
; touched) and asked about otherwise.

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
; In the install folder: the name of every file the installer put there.
!define MANIFEST "installed-files.txt"
!define MANIFEST_HEADER "; The files the ${PRODUCT} installer put in this folder: its uninstaller removes these and nothing else.$\r$\n"

; The uninstaller: the folder of the install that Windows' entry names.
Var EntryPlace

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
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!define MUI_COMPONENTSPAGE_TEXT_TOP "Your settings stay unless you tick them below. Ticked, only TolvanDDE.ini and the debug log (xmlfile.log, xmlfile.log.old) are removed from ${SETTINGS_DIR}; anything else there, captures too, stays."
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

; Reads the next name from the list of installed files open as $R7 into $R2,
; "" at its end. Only a plain name of a file in the install folder counts:
; comments, the list's own name, and lines with a folder, a drive or a
; wildcard, are skipped.
!macro READ_LISTED_NAME UN
Function ${UN}ReadListedName
  Push $R3
  Push $R4
  Push $R5
  ${Do}
    ClearErrors
    FileRead $R7 $R2
    ${If} ${Errors}
      StrCpy $R2 ""
      ${Break}
    ${EndIf}
    ${Do}
      StrCpy $R3 $R2 1 -1
      ${If} $R3 != "$\r"
      ${AndIf} $R3 != "$\n"
        ${Break}
      ${EndIf}
      StrCpy $R2 $R2 -1
    ${Loop}
    StrCpy $R3 $R2 1
    ${If} $R2 == ""
    ${OrIf} $R3 == ";"
    ${OrIf} $R2 == "."
    ${OrIf} $R2 == ".."
    ${OrIf} $R2 == "${MANIFEST}"
      ${Continue}
    ${EndIf}
    StrLen $R4 $R2
    StrCpy $R5 0
    ${DoWhile} $R5 < $R4
      StrCpy $R3 $R2 1 $R5
      ${If} $R3 == "\"
      ${OrIf} $R3 == "/"
      ${OrIf} $R3 == ":"
      ${OrIf} $R3 == "*"
      ${OrIf} $R3 == "?"
        ${Break}
      ${EndIf}
      IntOp $R5 $R5 + 1
    ${Loop}
    ${If} $R5 == $R4
      ${Break}
    ${EndIf}
  ${Loop}
  Pop $R5
  Pop $R4
  Pop $R3
FunctionEnd
!macroend
!insertmacro READ_LISTED_NAME ""
!insertmacro READ_LISTED_NAME "un."

; Sets $R1 to the names in folder $R0, each on a line of its own after two
; spaces, or "" when it holds nothing (or is not there).
!macro LIST_FOLDER UN
Function ${UN}ListFolder
  Push $R2
  Push $R3
  StrCpy $R1 ""
  FindFirst $R3 $R2 "$R0\*"
  ${DoWhile} $R2 != ""
    ${If} $R2 != "."
    ${AndIf} $R2 != ".."
      StrCpy $R1 "$R1$\n  $R2"
    ${EndIf}
    FindNext $R3 $R2
  ${Loop}
  FindClose $R3
  Pop $R3
  Pop $R2
FunctionEnd
!macroend
!insertmacro LIST_FOLDER ""
!insertmacro LIST_FOLDER "un."

; Every file the installer puts in $INSTDIR but the uninstaller and the list:
; where it comes from and its name there. DO is a macro of the two.
!macro INSTALLED_FILES DO
  !insertmacro ${DO} "${BRIDGE_EXE}" "TolvanDDE.exe"
  !insertmacro ${DO} "${SIM_EXE}" "decoder_sim.exe"
  !insertmacro ${DO} "${VIEWER_EXE}" "record_viewer.exe"
  !insertmacro ${DO} "${SOURCE_DIR}/tools/decoder_sim/sample_feed.txt" "sample_feed.txt"
  !insertmacro ${DO} "${SOURCE_DIR}/README.md" "README.md"
  !insertmacro ${DO} "${SOURCE_DIR}/LICENSE" "LICENSE"
  ; Not TolvanDDE.ini: a file of that name beside the program would be the
  ; settings file, and the installed program keeps its settings in
  ; ${SETTINGS_DIR}, which the uninstaller leaves alone.
  !insertmacro ${DO} "${SOURCE_DIR}/app/TolvanDDE.ini" "TolvanDDE.example.ini"
!macroend

; Installs one file and names it in the list open as $R9.
!macro INSTALL_FILE SOURCE NAME
  File "/oname=${NAME}" "${SOURCE}"
  FileWrite $R9 "${NAME}$\r$\n"
!macroend

; Sets $R3 to 1 when $R2 is the name of a file this installer puts there.
!macro MATCH_INSTALLED_NAME SOURCE NAME
  ${If} $R2 == "${NAME}"
    StrCpy $R3 1
  ${EndIf}
!macroend

; Appends to $R1 the name of each file of the installer's that is in $INSTDIR.
!macro NOTE_EXISTING SOURCE NAME
  ${If} ${FileExists} "$INSTDIR\${NAME}"
    StrCpy $R1 "$R1$\n  ${NAME}"
  ${EndIf}
!macroend

; Whether $INSTDIR may be installed into, in $0 (1: yes). It may when it
; holds nothing (or is not there yet), or an earlier install of this program:
; its list of installed files, or, from an installer that wrote no list, the
; program beside its uninstaller. Else it holds the user's files: the user is
; asked, default No; when silent the answer is No.
Function CheckInstallFolder
  StrCpy $0 1
  ${If} ${FileExists} "$INSTDIR\${MANIFEST}"
    Return
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\TolvanDDE.exe"
  ${AndIf} ${FileExists} "$INSTDIR\uninstall.exe"
    Return
  ${EndIf}
  StrCpy $R0 "$INSTDIR"
  Call ListFolder
  ${If} $R1 == ""
    Return
  ${EndIf}
  StrCpy $R1 ""
  !insertmacro INSTALLED_FILES NOTE_EXISTING
  ${If} ${FileExists} "$INSTDIR\uninstall.exe"
    StrCpy $R1 "$R1$\n  uninstall.exe"
  ${EndIf}
  ${If} $R1 == ""
    StrCpy $R1 "None of them would be replaced: the installer's files have other names."
  ${Else}
    StrCpy $R1 "The installer would replace these with its own:$R1"
  ${EndIf}
  MessageBox MB_YESNO|MB_ICONEXCLAMATION|MB_DEFBUTTON2 "$INSTDIR already holds files, and they are not an earlier install of ${PRODUCT}.$\n$\n$R1$\n$\nYour other files there stay, and the uninstaller removes only what the installer put there. Install into this folder anyway?" /SD IDNO IDYES yes
  StrCpy $0 0
  yes:
FunctionEnd

Function DirectoryLeave
  Call CheckInstallFolder
  ${If} $0 != 1
    Abort
  ${EndIf}
FunctionEnd

; Writes to the list open as $R9 the names on the earlier list in $INSTDIR
; whose files are still there and that this installer does not put there: a
; file an earlier version installed stays the installer's to remove.
Function KeepEarlierNames
  ClearErrors
  FileOpen $R7 "$INSTDIR\${MANIFEST}" r
  ${If} ${Errors}
    Return
  ${EndIf}
  ${Do}
    Call ReadListedName
    ${If} $R2 == ""
      ${Break}
    ${EndIf}
    StrCpy $R3 0
    !insertmacro INSTALLED_FILES MATCH_INSTALLED_NAME
    !insertmacro MATCH_INSTALLED_NAME "" "uninstall.exe"
    ${If} $R3 == 0
    ${AndIf} ${FileExists} "$INSTDIR\$R2"
      FileWrite $R9 "$R2$\r$\n"
    ${EndIf}
  ${Loop}
  FileClose $R7
FunctionEnd

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
  ; The new list is made beside the earlier one, which it then replaces.
  FileOpen $R9 "$INSTDIR\${MANIFEST}.new" w
  FileWrite $R9 "${MANIFEST_HEADER}"
  Call KeepEarlierNames
  !insertmacro INSTALLED_FILES INSTALL_FILE
  WriteUninstaller "$INSTDIR\uninstall.exe"
  FileWrite $R9 "uninstall.exe$\r$\n"
  FileClose $R9
  Delete "$INSTDIR\${MANIFEST}"
  Rename "$INSTDIR\${MANIFEST}.new" "$INSTDIR\${MANIFEST}"

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
  ; Silent, no page asks: a folder of the user's files ends the installer
  ; before it writes anything.
  ${If} ${Silent}
    Call CheckInstallFolder
    ${If} $0 != 1
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "un.${PRODUCT}" UnProgram
  SectionIn RO
  Call un.CloseRunningBridge
  ; Exactly the files on the installer's list; the folder only when nothing
  ; else is left in it. A file that cannot go (the uninstaller itself, when
  ; it runs in place) stays on the list, so that the folder is still an
  ; earlier install to the installer.
  ClearErrors
  FileOpen $R7 "$INSTDIR\${MANIFEST}" r
  ${If} ${Errors}
    DetailPrint "No list of installed files in $INSTDIR: the files there stay."
  ${Else}
    StrCpy $R6 ""
    ${Do}
      Call un.ReadListedName
      ${If} $R2 == ""
        ${Break}
      ${EndIf}
      Delete "$INSTDIR\$R2"
      ${If} ${FileExists} "$INSTDIR\$R2"
        StrCpy $R6 "$R6$R2$\r$\n"
      ${EndIf}
    ${Loop}
    FileClose $R7
    Delete "$INSTDIR\${MANIFEST}"
    ${If} $R6 != ""
      FileOpen $R7 "$INSTDIR\${MANIFEST}" w
      FileWrite $R7 "${MANIFEST_HEADER}$R6"
      FileClose $R7
    ${EndIf}
  ${EndIf}
  RMDir "$INSTDIR"
  StrCpy $R0 "$INSTDIR"
  Call un.ListFolder
  ${If} $R1 != ""
    DetailPrint "$INSTDIR stays, with the files the installer did not put there:$R1"
  ${EndIf}

  ; The shortcuts and Windows' entry belong to the install that wrote them
  ; last: after an install into another folder they start that one, and stay.
  ReadRegStr $EntryPlace HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $EntryPlace == ""
  ${OrIf} $EntryPlace == "$INSTDIR"
    Delete "${MENU_DIR}\${PRODUCT}.lnk"
    Delete "${MENU_DIR}\README.lnk"
    RMDir "${MENU_DIR}"
  ${Else}
    DetailPrint "The Start menu shortcuts and the entry in Windows' list stay: they are the install's in $EntryPlace."
  ${EndIf}

  !insertmacro REMOVE_OUR_RUN_VALUE
SectionEnd

; The settings file (and the one a cut-short save left) and the debug log;
; anything else in their folder is the user's and stays, named.
Section /o "un.My settings and debug log" UnSettings
  Delete "${SETTINGS_DIR}\TolvanDDE.ini"
  Delete "${SETTINGS_DIR}\TolvanDDE.ini.new"
  Delete "${SETTINGS_DIR}\xmlfile.log"
  Delete "${SETTINGS_DIR}\xmlfile.log.old"
  RMDir "${SETTINGS_DIR}"
  StrCpy $R0 "${SETTINGS_DIR}"
  Call un.ListFolder
  ${If} $R1 != ""
    DetailPrint "${SETTINGS_DIR} stays, with what is not your settings or debug log:$R1"
    MessageBox MB_OK|MB_ICONINFORMATION "Your settings and debug log are removed. Everything else in ${SETTINGS_DIR} stays:$R1" /SD IDOK
  ${EndIf}
SectionEnd

; Last, so that an uninstall cut short can be run again from Windows' list.
Section "-un.Entry"
  ${If} $EntryPlace == ""
  ${OrIf} $EntryPlace == "$INSTDIR"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ${EndIf}
SectionEnd

Function un.onInit
  ${un.GetOptions} $CMDLINE "/REMOVESETTINGS" $0
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${UnSettings}
  ${EndIf}
FunctionEnd
