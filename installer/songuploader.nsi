; SongUploader's installer for Windows (NSIS): SongUploader-<version>-setup.exe.
;
; It installs for the current user only and never asks for administrator rights: the program goes to the user's
; own programs folder (%LOCALAPPDATA%\Programs\SongUploader), where SongUploader.INI beside the program stays
; writable. It adds a Start menu shortcut, an "Open with" entry for .mid and .midi (an OpenWithProgids value:
; the user's default program for MIDI files is left alone), the console build on request (put on the user's
; PATH only when asked) and an uninstaller listed under the user's installed apps. The uninstaller removes
; exactly that, and the settings file only when asked.
;
; Silent use (administrators): /S installs the program alone; /CONSOLE adds the console build, /PATH the
; console build on the PATH; /D=FOLDER (last) another folder. "Uninstall SongUploader.exe" /S removes it;
; /REMOVESETTINGS removes SongUploader.INI as well.
; An installation over an earlier one (any version) goes into the same folder, keeps SongUploader.INI and
; offers the console build again when the earlier one had it.
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
; The longest PATH (with our folder added) the installer rewrites: its strings hold NSIS_MAX_STRLEN characters.
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

; --- the user's PATH (HKCU\Environment), one entry at a time ---

; Sets $R9 to the user's PATH without the entries equal to $INSTDIR (compared without regard to case), and $R8
; to 1 when there was such an entry. Every other entry stays as it was, in its place. A PATH the installer
; cannot read whole (longer than its strings, or not a string) is never rewritten: $R8 is 2 then.
!macro PathWithoutFolder prefix
Function ${prefix}PathWithoutFolder
  Push $0
  Push $1
  Push $2
  Push $3
  StrCpy $R9 ""
  StrCpy $R8 0
  ClearErrors
  ReadRegStr $0 HKCU "Environment" "Path"
  ${If} ${Errors}
    ; Either there is no PATH of the user's own (then it starts empty) or it cannot be read.
    StrCpy $3 0
    ${Do}
      EnumRegValue $1 HKCU "Environment" $3
      ${IfThen} $1 == "" ${|} ${ExitDo} ${|}
      ${IfThen} $1 == "Path" ${|} StrCpy $R8 2 ${|}
      IntOp $3 $3 + 1
    ${Loop}
  ${EndIf}
  StrLen $1 "$0;$INSTDIR"
  ${If} $1 >= ${PATH_LIMIT}
    StrCpy $R8 2
  ${EndIf}
  ${If} $R8 == 2
    DetailPrint "Your PATH is too long to be changed here: add or remove $INSTDIR in it yourself."
    Goto done
  ${EndIf}
  StrCpy $1 ""
  StrCpy $3 0
  ${Do}
    StrCpy $2 $0 1 $3
    ${If} $2 == ";"
    ${OrIf} $2 == ""
      ${If} $1 == $INSTDIR
      ${OrIf} $1 == "$INSTDIR\"
        StrCpy $R8 1
      ${ElseIf} $3 > 0
        ${If} $R9 == ""
          StrCpy $R9 $1
        ${Else}
          StrCpy $R9 "$R9;$1"
        ${EndIf}
      ${EndIf}
      StrCpy $1 ""
      ${IfThen} $2 == "" ${|} ${ExitDo} ${|}
    ${Else}
      StrCpy $1 "$1$2"
    ${EndIf}
    IntOp $3 $3 + 1
  ${Loop}
  done:
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro PathWithoutFolder ""
!insertmacro PathWithoutFolder "un."

!macro AnnounceEnvironment
  ; Explorer and the programs it starts next read the changed PATH.
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=2000
!macroend

!macro RemoveFromPath prefix
  Call ${prefix}PathWithoutFolder
  ${If} $R8 == 1
    ${If} $R9 == ""
      DeleteRegValue HKCU "Environment" "Path"
    ${Else}
      WriteRegExpandStr HKCU "Environment" "Path" $R9
    ${EndIf}
    !insertmacro AnnounceEnvironment
  ${EndIf}
!macroend

; --- installing ---

Section "SongUploader" SecProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${STAGE}\SongUploader.exe"
  File "${STAGE}\sqfconv2.dll"
  File "${STAGE}\README.txt"
  File "${STAGE}\LICENSE.txt"
  ; SongUploader.INI is never written here: an upgrade keeps the user's MIDI ports.
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

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
  Call PathWithoutFolder
  ${If} $R8 == 0
    ${If} $R9 == ""
      WriteRegExpandStr HKCU "Environment" "Path" "$INSTDIR"
    ${Else}
      WriteRegExpandStr HKCU "Environment" "Path" "$R9;$INSTDIR"
    ${EndIf}
    !insertmacro AnnounceEnvironment
  ${EndIf}
  ${If} $R8 != 2
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "ConsoleOnPath" 1
  ${EndIf}
SectionEnd

; Runs last, once the files are in place.
Section "-finish"
  ; An earlier installation's console build that is not wanted this time goes, with its PATH entry.
  ${IfNot} ${SectionIsSelected} ${SecConsole}
    Delete "$INSTDIR\songuploader-cli.exe"
    DeleteRegValue HKCU "${UNINSTALL_KEY}" "Console"
  ${EndIf}
  ${IfNot} ${SectionIsSelected} ${SecPath}
    !insertmacro RemoveFromPath ""
    DeleteRegValue HKCU "${UNINSTALL_KEY}" "ConsoleOnPath"
  ${EndIf}
  ; The size shown under installed apps.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Function .onInit
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
  Delete "$INSTDIR\SongUploader.exe"
  Delete "$INSTDIR\sqfconv2.dll"
  Delete "$INSTDIR\songuploader-cli.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\${UNINSTALLER}"
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

  ReadRegDWORD $0 HKCU "${UNINSTALL_KEY}" "ConsoleOnPath"
  ${If} $0 == 1
    !insertmacro RemoveFromPath "un."
  ${EndIf}
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

Section /o "un.Settings (the chosen MIDI ports, ${SETTINGS})" UnSecSettings
  Delete "$INSTDIR\${SETTINGS}"
SectionEnd

; Last: the folder goes only when it is empty, so nothing the user put there is lost.
Section "-un.folder"
  RMDir "$INSTDIR"
SectionEnd

Function un.onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/REMOVESETTINGS" $0
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${UnSecSettings}
  ${EndIf}
FunctionEnd
