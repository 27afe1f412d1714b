; SongUploader's installer for Windows (NSIS): SongUploader-<version>-setup.exe.
;
; It installs for the current user only and never asks for administrator rights: the program goes to the user's
; own programs folder (%LOCALAPPDATA%\Programs\SongUploader), where SongUploader.INI beside the program stays
; writable. It adds a Start menu shortcut, an "Open with" entry for .mid and .midi (an OpenWithProgids value:
; the user's default program for MIDI files is left alone), the console build on request (put on the user's
; PATH only when asked) and an uninstaller listed under the user's installed apps.
;
; It changes only what it owns. The PATH entry it added is recorded in the uninstall entry (PathEntry), and only
; that entry is ever removed again: a folder the user had on PATH already stays there through install, upgrade
; and uninstall. A chosen folder that holds files of the user's (and no uninstaller of ours) gets a SongUploader
; folder of its own inside it; the read-me and licence carry our name, so they never take the place of the
; user's. Nothing is installed or removed while SongUploader runs (its single-instance mutex), and a file that
; cannot be written stops the installation before the uninstall entry names the new version. The uninstaller
; removes its folder's files, and the shortcut, file types, PATH entry and uninstall entry only when the
; uninstall entry names its own folder; the settings only when asked.
;
; Silent use (administrators): /S installs the program alone; /CONSOLE adds the console build, /PATH the
; console build on the PATH; /D=FOLDER (last) another folder. The exit code is 0 only when the installation
; happened (2: SongUploader was running, a file could not be written, the folder was refused or the earlier
; installation could not be removed). "Uninstall SongUploader.exe" /S removes it (it hands over to a copy of
; itself and returns at once; add _?=FOLDER to wait for it and get its exit code); /REMOVESETTINGS removes
; SongUploader.INI and the keyboards remembered under %LOCALAPPDATA%\SongUploader as well.
; An installation over an earlier one (any version) goes into the same folder, keeps SongUploader.INI and
; offers the console build again when the earlier one had it; one into another folder removes the earlier
; installation first and takes its SongUploader.INI along.
;
; scripts/package builds it: makensis -DVERSION=x.y.z -DSTAGE=<the zip's files> -DICON=<icon> -DOUTFILE=<exe>

!ifndef VERSION
  !error "Define VERSION, STAGE, ICON and OUTFILE (scripts/package does)"
!endif
!ifndef STAGE
  !error "Define VERSION, STAGE, ICON and OUTFILE (scripts/package does)"
!endif
!ifndef ICON
  !error "Define VERSION, STAGE, ICON and OUTFILE (scripts/package does)"
!endif
!ifndef OUTFILE
  !error "Define VERSION, STAGE, ICON and OUTFILE (scripts/package does)"
!endif

Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!define PRODUCT "SongUploader"
!define UNINSTALLER "Uninstall SongUploader.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\SongUploader"
!define CLASSES "Software\Classes"
!define PROGID "SongUploader.MidiFile"
!define SETTINGS "SongUploader.INI"
; The keyboards the program remembers, under the user's %LOCALAPPDATA%.
!define STATE_FOLDER "$LOCALAPPDATA\SongUploader"
!define STATE_FILE "keyboards.txt"
; Our read-me and licence, under names of our own in the installed folder.
!define README "SongUploader README.txt"
!define LICENSE "SongUploader LICENSE.txt"
; The mutex the running program holds (app/shell_system.h) and the right needed to open it.
!define INSTANCE_MUTEX "7C1F4A92-3B5E-4D08-A6C3-91E2F05B7D4A"
!define SYNCHRONIZE 0x00100000
; A PATH the installer writes is shorter than this: its strings hold NSIS_MAX_STRLEN characters, terminator and all.
!define /math PATH_LIMIT ${NSIS_MAX_STRLEN} - 1

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include Sections.nsh
!include WinMessages.nsh

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
; An earlier installation is upgraded where it is.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
; A file that cannot be written is never passed over: the installation stops (a silent one with exit code 2).
AllowSkipFiles off

; The folder of the installation this one replaces, when it has its uninstaller there ("" otherwise).
Var EarlierFolder

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey /LANG=1033 "LegalCopyright" "MIT licence"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\SongUploader.exe"
!define MUI_FINISHPAGE_RUN_NOTCHECKED

!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"


; --- what both the installer and the uninstaller do ---

; Ends the run while SongUploader runs (it holds its single-instance mutex) and the user does not close it and
; retry: a program file in use cannot be replaced or removed, and nothing is changed then. Exit code 2.
!macro StopWhileRunning
  ${Do}
    System::Call 'kernel32::OpenMutexW(i ${SYNCHRONIZE}, i 0, w "${INSTANCE_MUTEX}") p .r0'
    ${IfThen} $0 = 0 ${|} ${ExitDo} ${|}
    System::Call 'kernel32::CloseHandle(p r0)'
    ${IfNot} ${Cmd} `MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${PRODUCT} is running. Close it, then choose Retry (nothing has been changed)." /SD IDCANCEL IDRETRY`
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${Loop}
!macroend

; Stops the run with a message and exit code 2; what was changed before stays as it is.
!macro Fail text
  MessageBox MB_OK|MB_ICONSTOP "${text}" /SD IDOK
  DetailPrint "${text}"
  SetErrorLevel 2
  Quit
!macroend

; --- the user's PATH (HKCU\Environment), one entry at a time ---

; $R9: the user's own PATH as it is written (variables unexpanded; "" when there is none). $R8: 0 when it was
; read whole, 2 when it cannot be (longer than the installer's strings, or not a string): it is never
; rewritten then.
!macro ReadUserPath prefix
Function ${prefix}ReadUserPath
  Push $0
  Push $1
  StrCpy $R8 0
  ClearErrors
  ReadRegStr $R9 HKCU "Environment" "Path"
  ${If} ${Errors}
    ; Either there is no PATH of the user's own (then it starts empty) or it cannot be read.
    StrCpy $R9 ""
    StrCpy $0 0
    ${Do}
      EnumRegValue $1 HKCU "Environment" $0
      ${IfThen} $1 == "" ${|} ${ExitDo} ${|}
      ${IfThen} $1 == "Path" ${|} StrCpy $R8 2 ${|}
      IntOp $0 $0 + 1
    ${Loop}
  ${EndIf}
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro ReadUserPath ""
!insertmacro ReadUserPath "un."

; $R9 (a PATH) without the entries equal to $R6 (compared without regard to case, a trailing "\" aside), and $R5
; 1 when there was such an entry. Every other entry, an empty one too, stays as it was, in its place; an entry
; goes with the separator before it (after it when it is the first), which undoes how it was added.
!macro PathWithoutEntry prefix
Function ${prefix}PathWithoutEntry
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  StrCpy $R5 0
  StrCpy $0 ""
  StrCpy $4 0
  StrCpy $1 ""
  StrCpy $3 0
  ${Do}
    StrCpy $2 $R9 1 $3
    ${If} $2 == ";"
    ${OrIf} $2 == ""
      ${If} $1 == $R6
      ${OrIf} $1 == "$R6\"
        StrCpy $R5 1
      ${Else}
        ${If} $4 == 0
          StrCpy $0 $1
        ${Else}
          StrCpy $0 "$0;$1"
        ${EndIf}
        IntOp $4 $4 + 1
      ${EndIf}
      StrCpy $1 ""
      ${IfThen} $2 == "" ${|} ${ExitDo} ${|}
    ${Else}
      StrCpy $1 "$1$2"
    ${EndIf}
    IntOp $3 $3 + 1
  ${Loop}
  StrCpy $R9 $0
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro PathWithoutEntry ""
!insertmacro PathWithoutEntry "un."

; $R7: 1 when an entry of $R9 names $INSTDIR, as written or with its variables (%USERPROFILE%...) expanded,
; quoted or not, with or without a trailing "\".
Function PathNamesFolder
  Push $0
  Push $1
  Push $2
  Push $3
  StrCpy $R7 0
  StrCpy $1 ""
  StrCpy $3 0
  ${Do}
    StrCpy $2 $R9 1 $3
    ${If} $2 == ";"
    ${OrIf} $2 == ""
      ExpandEnvStrings $0 $1
      ${If} $0 == $INSTDIR
      ${OrIf} $0 == "$INSTDIR\"
      ${OrIf} $0 == '"$INSTDIR"'
      ${OrIf} $0 == '"$INSTDIR\"'
        StrCpy $R7 1
        ${ExitDo}
      ${EndIf}
      StrCpy $1 ""
      ${IfThen} $2 == "" ${|} ${ExitDo} ${|}
    ${Else}
      StrCpy $1 "$1$2"
    ${EndIf}
    IntOp $3 $3 + 1
  ${Loop}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

!macro AnnounceEnvironment
  ; Explorer and the programs it starts next read the changed PATH.
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=2000
!macroend

; Removes the PATH entry this installer added (PathEntry in the uninstall entry), and nothing else, then
; forgets it.
!macro RemoveOurPathEntry prefix
  ClearErrors
  ReadRegStr $R6 HKCU "${UNINSTALL_KEY}" "PathEntry"
  ${IfNot} ${Errors}
  ${AndIf} $R6 != ""
    Call ${prefix}ReadUserPath
    ${If} $R8 == 2
      MessageBox MB_OK|MB_ICONEXCLAMATION "Your PATH is too long to be changed here: remove $R6 from it yourself." /SD IDOK
    ${Else}
      Call ${prefix}PathWithoutEntry
      ${If} $R5 == 1
        ${If} $R9 == ""
          DeleteRegValue HKCU "Environment" "Path"
        ${Else}
          WriteRegExpandStr HKCU "Environment" "Path" $R9
        ${EndIf}
        !insertmacro AnnounceEnvironment
      ${EndIf}
    ${EndIf}
    DeleteRegValue HKCU "${UNINSTALL_KEY}" "PathEntry"
  ${EndIf}
!macroend

; --- installing ---

; $0: 1 when $INSTDIR holds anything but our settings file and has no uninstaller of ours (a folder of the
; user's), else 0 (no folder, an empty one, or one of ours).
Function FolderHoldsOthers
  Push $1
  Push $2
  StrCpy $0 0
  ${IfNot} ${FileExists} "$INSTDIR\${UNINSTALLER}"
    ClearErrors
    FindFirst $1 $2 "$INSTDIR\*"
    ${DoUntil} ${Errors}
      ${IfThen} $2 == "" ${|} ${ExitDo} ${|}
      ${If} $2 != "."
      ${AndIf} $2 != ".."
      ${AndIf} $2 != "${SETTINGS}"
        StrCpy $0 1
        ${ExitDo}
      ${EndIf}
      FindNext $1 $2
    ${Loop}
    FindClose $1
  ${EndIf}
  Pop $2
  Pop $1
FunctionEnd

; A folder of the user's is never mixed with ours: the program goes into a SongUploader folder inside it, and
; when that too holds files not ours, the installation stops.
Function UseOwnFolder
  Push $0
  Call FolderHoldsOthers
  ${If} $0 == 1
    StrCpy $INSTDIR "$INSTDIR\${PRODUCT}"
    DetailPrint "The folder holds files of yours: ${PRODUCT} goes into $INSTDIR."
    Call FolderHoldsOthers
    ${If} $0 == 1
      !insertmacro Fail "$INSTDIR holds files that are not ${PRODUCT}'s. Choose an empty folder."
    ${EndIf}
  ${EndIf}
  Pop $0
FunctionEnd

; An installation in another folder is removed first, by its own uninstaller (which keeps the settings), so
; that no second copy stays behind with an uninstaller that would take this one's entries away. Its settings
; file comes along unless the new folder has one.
Function RemoveEarlierInstallation
  Push $0
  ${If} $EarlierFolder != ""
  ${AndIf} $EarlierFolder != $INSTDIR
    DetailPrint "Removing the earlier installation in $EarlierFolder"
    StrCpy $0 0
    ${If} ${FileExists} "$EarlierFolder\${SETTINGS}"
    ${AndIfNot} ${FileExists} "$INSTDIR\${SETTINGS}"
      CreateDirectory "$INSTDIR"
      ClearErrors
      CopyFiles /SILENT "$EarlierFolder\${SETTINGS}" "$INSTDIR"
      ${If} ${Errors}
        !insertmacro Fail "Could not copy the settings from $EarlierFolder. Nothing has been installed."
      ${EndIf}
      StrCpy $0 1
    ${EndIf}
    Push $0
    ClearErrors
    ; _?= runs it in place and waits for it: its exit code says whether it removed the installation.
    ExecWait '"$EarlierFolder\${UNINSTALLER}" /S _?=$EarlierFolder' $0
    ${If} ${Errors}
    ${OrIf} $0 != 0
      !insertmacro Fail "Could not remove the earlier installation in $EarlierFolder. Nothing has been installed."
    ${EndIf}
    Pop $0
    Delete "$EarlierFolder\${UNINSTALLER}"
    ${IfThen} $0 == 1 ${|} Delete "$EarlierFolder\${SETTINGS}" ${|}
    RMDir "$EarlierFolder"
  ${EndIf}
  Pop $0
FunctionEnd

Section "SongUploader" SecProgram
  SectionIn RO
  ; The program may have been started while the pages were shown.
  !insertmacro StopWhileRunning
  Call UseOwnFolder
  Call RemoveEarlierInstallation
  SetOutPath "$INSTDIR"
  ; A file that cannot be written stops here (AllowSkipFiles off), before any entry names the new version.
  File "${STAGE}\SongUploader.exe"
  File "${STAGE}\sqfconv2.dll"
  File "/oname=${README}" "${STAGE}\README.txt"
  File "/oname=${LICENSE}" "${STAGE}\LICENSE.txt"
  ; SongUploader.INI is never written here: an upgrade keeps the user's MIDI ports.
  ClearErrors
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  ${If} ${Errors}
    !insertmacro Fail "Could not write $INSTDIR\${UNINSTALLER}."
  ${EndIf}

  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\SongUploader.exe" "" "$INSTDIR\SongUploader.exe" 0 \
    "" "" "Send Standard MIDI Files to the keyboard"

  ; "Open with" for .mid and .midi: a program identifier of our own, named in each type's OpenWithProgids. The
  ; type's default program stays the user's.
  WriteRegStr HKCU "${CLASSES}\${PROGID}" "" "MIDI song"
  WriteRegStr HKCU "${CLASSES}\${PROGID}" "FriendlyTypeName" "MIDI song"
  WriteRegStr HKCU "${CLASSES}\${PROGID}\DefaultIcon" "" '"$INSTDIR\SongUploader.exe",0'
  WriteRegStr HKCU "${CLASSES}\${PROGID}\shell\open" "FriendlyAppName" "${PRODUCT}"
  WriteRegStr HKCU "${CLASSES}\${PROGID}\shell\open\command" "" '"$INSTDIR\SongUploader.exe" "%1"'
  WriteRegNone HKCU "${CLASSES}\.mid\OpenWithProgids" "${PROGID}"
  WriteRegNone HKCU "${CLASSES}\.midi\OpenWithProgids" "${PROGID}"
  ; SHCNE_ASSOCCHANGED: Explorer reads the file types again.
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "The SongUploader developers"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\SongUploader.exe",0'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section /o "Console build (songuploader-cli.exe)" SecConsole
  SetOutPath "$INSTDIR"
  File "${STAGE}\songuploader-cli.exe"
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "Console" 1
SectionEnd

Section /o "Add the console build to my PATH" SecPath
  Call ReadUserPath
  ${If} $R8 == 0
    Call PathNamesFolder
    ${If} $R7 == 1
      ; The user's entry (or the one an earlier installation here added, whose record stays): left as it is.
      DetailPrint "$INSTDIR is on your PATH already."
    ${Else}
      ; Either way the PATH grows by the folder and one separator.
      StrLen $0 $R9
      StrLen $1 $INSTDIR
      IntOp $0 $0 + $1
      IntOp $0 $0 + 1
      ${If} $0 >= ${PATH_LIMIT}
        StrCpy $R8 2
      ${ElseIf} $R9 == ""
        WriteRegExpandStr HKCU "Environment" "Path" "$INSTDIR"
      ${Else}
        ; A PATH that ends with its separator keeps ending with one.
        StrCpy $0 $R9 1 -1
        ${If} $0 == ";"
          WriteRegExpandStr HKCU "Environment" "Path" "$R9$INSTDIR;"
        ${Else}
          WriteRegExpandStr HKCU "Environment" "Path" "$R9;$INSTDIR"
        ${EndIf}
      ${EndIf}
      ${If} $R8 == 0
        WriteRegStr HKCU "${UNINSTALL_KEY}" "PathEntry" "$INSTDIR"
        !insertmacro AnnounceEnvironment
      ${EndIf}
    ${EndIf}
  ${EndIf}
  ${If} $R8 == 2
    MessageBox MB_OK|MB_ICONEXCLAMATION "Your PATH is too long to be changed here: add $INSTDIR to it yourself." /SD IDOK
    DetailPrint "Your PATH is too long to be changed here: add $INSTDIR to it yourself."
  ${Else}
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "ConsoleOnPath" 1
  ${EndIf}
SectionEnd

; Adds the size of file $1 in bytes to $0 (nothing when it is not there).
Function AddFileSize
  Push $2
  Push $3
  ClearErrors
  FileOpen $2 $1 r
  ${IfNot} ${Errors}
    FileSeek $2 0 END $3
    FileClose $2
    IntOp $0 $0 + $3
  ${EndIf}
  Pop $3
  Pop $2
FunctionEnd

; Runs last, once the files are in place.
Section "-finish"
  ; An earlier installation's console build that is not wanted this time goes, with the PATH entry it added.
  ${IfNot} ${SectionIsSelected} ${SecConsole}
    Delete "$INSTDIR\songuploader-cli.exe"
    DeleteRegValue HKCU "${UNINSTALL_KEY}" "Console"
  ${EndIf}
  ${IfNot} ${SectionIsSelected} ${SecPath}
    !insertmacro RemoveOurPathEntry ""
    DeleteRegValue HKCU "${UNINSTALL_KEY}" "ConsoleOnPath"
  ${EndIf}
  ; The size shown under installed apps: our own files only, whatever else the folder holds.
  StrCpy $0 0
  StrCpy $1 "$INSTDIR\SongUploader.exe"
  Call AddFileSize
  StrCpy $1 "$INSTDIR\sqfconv2.dll"
  Call AddFileSize
  StrCpy $1 "$INSTDIR\songuploader-cli.exe"
  Call AddFileSize
  StrCpy $1 "$INSTDIR\${README}"
  Call AddFileSize
  StrCpy $1 "$INSTDIR\${LICENSE}"
  Call AddFileSize
  StrCpy $1 "$INSTDIR\${UNINSTALLER}"
  Call AddFileSize
  IntOp $0 $0 + 1023
  IntOp $0 $0 / 1024
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function .onInit
  !insertmacro StopWhileRunning
  ; The installation this one replaces, when its uninstaller is still in its folder.
  ReadRegStr $EarlierFolder HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $EarlierFolder == ""
  ${OrIfNot} ${FileExists} "$EarlierFolder\${UNINSTALLER}"
    StrCpy $EarlierFolder ""
  ${EndIf}
  ; What an earlier installation had is offered again.
  ReadRegDWORD $0 HKCU "${UNINSTALL_KEY}" "Console"
  ${If} $0 == 1
    !insertmacro SelectSection ${SecConsole}
  ${EndIf}
  ReadRegDWORD $0 HKCU "${UNINSTALL_KEY}" "ConsoleOnPath"
  ${If} $0 == 1
    !insertmacro SelectSection ${SecPath}
  ${EndIf}
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/CONSOLE" $0
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecConsole}
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/PATH" $0
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecConsole}
    !insertmacro SelectSection ${SecPath}
  ${EndIf}
FunctionEnd

; The PATH entry names the console build's folder: it needs the console build.
Function .onSelChange
  ${If} ${SectionIsSelected} ${SecPath}
    !insertmacro SelectSection ${SecConsole}
  ${EndIf}
FunctionEnd

; --- uninstalling: exactly what the installer put there ---

; A key of HKEY_CURRENT_USER, deleted only when it holds neither keys nor values, the default value included
; (EnumRegValue names the default value "", as it names the end of the list: ReadRegStr tells them apart).
!macro DeleteEmptyKey key
  ClearErrors
  EnumRegKey $0 HKCU "${key}" 0
  EnumRegValue $1 HKCU "${key}" 0
  ReadRegStr $2 HKCU "${key}" ""
  ${If} ${Errors}
  ${AndIf} $0 == ""
  ${AndIf} $1 == ""
    DeleteRegKey HKCU "${key}"
  ${EndIf}
!macroend

Section "un.SongUploader" UnSecProgram
  SectionIn RO
  !insertmacro StopWhileRunning
  ; The program's files first: one that cannot be removed stops the uninstaller before anything else goes.
  ClearErrors
  Delete "$INSTDIR\SongUploader.exe"
  Delete "$INSTDIR\sqfconv2.dll"
  Delete "$INSTDIR\songuploader-cli.exe"
  ${If} ${Errors}
    !insertmacro Fail "Could not remove ${PRODUCT} from $INSTDIR: close any program using its files and try again."
  ${EndIf}
  Delete "$INSTDIR\${README}"
  Delete "$INSTDIR\${LICENSE}"
  Delete "$INSTDIR\${UNINSTALLER}"

  ; The shortcut, file types, PATH entry and uninstall entry name one folder: they are this uninstaller's only
  ; when that folder is its own (an uninstaller left in another folder must not take them away).
  ReadRegStr $3 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $3 != $INSTDIR
    DetailPrint "The shortcut, file types and uninstall entry are those of the installation in $3: left as they are."
  ${Else}
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    DeleteRegKey HKCU "${CLASSES}\${PROGID}"
    DeleteRegValue HKCU "${CLASSES}\.mid\OpenWithProgids" "${PROGID}"
    DeleteRegValue HKCU "${CLASSES}\.midi\OpenWithProgids" "${PROGID}"
    ; The keys themselves only when no value and no key is left in them (the user's own choice of a default
    ; program for the type lives there too).
    !insertmacro DeleteEmptyKey "${CLASSES}\.mid\OpenWithProgids"
    !insertmacro DeleteEmptyKey "${CLASSES}\.midi\OpenWithProgids"
    !insertmacro DeleteEmptyKey "${CLASSES}\.mid"
    !insertmacro DeleteEmptyKey "${CLASSES}\.midi"
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'

    !insertmacro RemoveOurPathEntry "un."
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ${EndIf}
SectionEnd

Section /o "un.Settings (the chosen MIDI ports and the keyboards found)" UnSecSettings
  Delete "$INSTDIR\${SETTINGS}"
  Delete "${STATE_FOLDER}\${STATE_FILE}"
  RMDir "${STATE_FOLDER}"
SectionEnd

; Last: the folder goes only when it is empty, so nothing the user put there is lost.
Section "-un.folder"
  RMDir "$INSTDIR"
SectionEnd

Function un.onInit
  !insertmacro StopWhileRunning
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/REMOVESETTINGS" $0
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${UnSecSettings}
  ${EndIf}
FunctionEnd
