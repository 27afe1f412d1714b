# The Windows installer on the paths a user's own machine takes, each in a fresh Wine prefix: the user's PATH
# (written with variables, ending in a separator, already naming the folder, near the installer's limit), a
# chosen folder that holds the user's files, SongUploader running during an upgrade and an uninstallation, an
# upgrade into another folder followed by the earlier folder's uninstaller, and a folder whose name the ANSI
# code page cannot hold. What belongs to the user must come out as it went in, and a silent run's exit code must
# say whether it installed.
#
# Sourced by check_packages.sh (which has pass, fail and check); installer_situations then needs: setup (the
# installer), unpacked (the zip's files), scratch, version, SU_WINDOWS_BUILD, and a display for Wine.

# reg_value KEY NAME: the data of one registry value ("" for the default one); fails when there is none.
reg_value() {
  local query
  if [[ -z "$2" ]]; then query=$(wine reg query "$1" /ve 2>/dev/null | tr -d '\r')
  else query=$(wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r'); fi
  grep -E '^    .*    REG_[A-Z_]+' <<<"$query" | sed -E 's/^    .*    REG_[A-Z_]+ *//'
  [[ -n "$query" ]] && grep -qE '    REG_' <<<"$query"
}
reg_type() { wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | grep -oE 'REG_[A-Z_]+' | head -n 1; }
reg_key_exists() { wine reg query "$1" >/dev/null 2>&1; }

isit_uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\SongUploader'

# A fresh copy of a Wine prefix made once; sets WINEPREFIX, programs (the default folder, as Windows names it)
# and folder (the same on this side).
isit_fresh_prefix() {
  wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
  if [[ ! -d "$scratch/isit-template" ]]; then
    SU_WINEPREFIX="$scratch/isit-template" su_prepare_wine >/dev/null
    wineserver -w 2>/dev/null
  fi
  rm -rf "$scratch/isit-prefix"
  cp -a "$scratch/isit-template" "$scratch/isit-prefix"
  export WINEPREFIX="$scratch/isit-prefix"
  programs=$(wine cmd /c 'echo %LOCALAPPDATA%' 2>/dev/null | tr -d '\r')'\Programs\SongUploader'
  folder=$(winepath -u "$programs" 2>/dev/null)
}

isit_set_path() { wine reg add 'HKCU\Environment' /v Path /t REG_EXPAND_SZ /d "$1" /f >/dev/null 2>&1; }
isit_path() { reg_value 'HKCU\Environment' Path; }

# Runs an installer or uninstaller and waits for it (and for the copy an uninstaller hands over to, so never
# while a program of the prefix runs); its exit code is the run's.
isit_run() {
  local code
  wine "$@" >/dev/null 2>&1; code=$?
  wineserver -w 2>/dev/null
  return $code
}

# Starts the installed program for a song and waits for its Selection dialog; sets isit_pid.
isit_start_program() {
  local song
  song=$(find "$scratch/songs" -name '*.mid' 2>/dev/null | sort | head -n 1)
  wine "$folder/SongUploader.exe" "$(winepath -w "$song" 2>/dev/null)" >/dev/null 2>&1 &
  isit_pid=$!
  for _ in $(seq 1 300); do
    xwininfo -root -tree 2>/dev/null | grep -q '"Selection"' && return 0
    kill -0 "$isit_pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
isit_stop_program() {
  [[ -n "${isit_pid:-}" ]] && kill "$isit_pid" 2>/dev/null
  isit_pid=""
  wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
}

# --- the user's PATH ---
# Each row: what the check says | the user's PATH before (REG_EXPAND_SZ) | the installer runs, separated by
# " ; " | PATH after them | PATH after the uninstaller. "@" stands for the default folder.
isit_path_rows() {
  local long
  # A PATH that, with the folder and a separator added, is 1,022 characters long: the longest the installer's
  # 1,024-character strings (terminator and all) take with a character to spare.
  long=$(for n in $(seq 1000 1199); do printf 'C:\\T\\%s;' "$n"; done)
  long="${long:0:$((1021 - ${#programs}))}"
  [[ "$long" == *';' ]] && long="${long%;}x"
  cat <<EOF
a silent install into a folder on PATH leaves PATH as it was|%USERPROFILE%\\bin;C:\\Tools;C:\\Other|/S /D=C:\\Tools|%USERPROFILE%\\bin;C:\\Tools;C:\\Other|%USERPROFILE%\\bin;C:\\Tools;C:\\Other
a second install with /PATH into a folder already on PATH, then the uninstaller, leave PATH as it was|%USERPROFILE%\\bin;C:\\Tools;C:\\Other|/S /D=C:\\Tools ; /S /PATH /D=C:\\Tools|%USERPROFILE%\\bin;C:\\Tools;C:\\Other|%USERPROFILE%\\bin;C:\\Tools;C:\\Other
the folder on PATH through a variable is not added again, nor removed|%LOCALAPPDATA%\\Programs\\SongUploader;C:\\Tools|/S /PATH|%LOCALAPPDATA%\\Programs\\SongUploader;C:\\Tools|%LOCALAPPDATA%\\Programs\\SongUploader;C:\\Tools
a PATH ending in its separator gets the folder without an empty entry, and back|C:\\Tools;|/S /PATH|C:\\Tools;@;|C:\\Tools;
the uninstaller removes the entry it added from a PATH near the installer's limit|$long|/S /PATH|$long;@|$long
EOF
}

isit_path_checks() {
  local name before runs after_install after_uninstall run ok detail location run_list
  isit_fresh_prefix  # the rows name the default folder
  while IFS='|' read -r name before runs after_install after_uninstall; do
    isit_fresh_prefix
    after_install="${after_install//@/$programs}"
    after_uninstall="${after_uninstall//@/$programs}"
    isit_set_path "$before"
    ok=yes detail=""
    IFS=';' read -ra run_list <<<"${runs// ; /;}"
    for run in "${run_list[@]}"; do
      # shellcheck disable=SC2086
      isit_run "$setup" $run || { ok=no; detail+="setup $run failed; "; }
    done
    [[ "$(isit_path)" == "$after_install" ]] || { ok=no; detail+="after install: $(isit_path); "; }
    location=$(reg_value "$isit_uninstall_key" InstallLocation)
    [[ -n "$location" ]] && isit_run "$(winepath -u "$location" 2>/dev/null)/Uninstall SongUploader.exe" /S
    [[ "$(isit_path)" == "$after_uninstall" ]] || { ok=no; detail+="after uninstall: $(isit_path); "; }
    if [[ -n "$after_uninstall" && "$(reg_type 'HKCU\Environment' Path)" != REG_EXPAND_SZ ]]; then
      ok=no; detail+="PATH is no longer REG_EXPAND_SZ; "
    fi
    if [[ $ok == yes ]]; then pass "$name"; else fail "$name" "$detail"; fi
  done < <(isit_path_rows)
}

# --- a folder of the user's ---
isit_user_folder_check() {
  local name="a folder holding the user's files keeps them, through install and uninstall"
  isit_fresh_prefix
  local music="$WINEPREFIX/drive_c/Music" ok=yes detail=""
  mkdir -p "$music"
  printf 'my read-me\r\n' >"$music/README.txt"
  printf 'my licence\r\n' >"$music/LICENSE.txt"
  printf 'notes\r\n' >"$music/notes.txt"
  isit_run "$setup" /S '/D=C:\Music' || { ok=no; detail+="setup failed; "; }
  local location
  location=$(reg_value "$isit_uninstall_key" InstallLocation)
  [[ -n "$location" && -f "$(winepath -u "$location" 2>/dev/null)/SongUploader.exe" ]] ||
    { ok=no; detail+="no program where the uninstall entry says ($location); "; }
  [[ ! -e "$music/SongUploader.exe" ]] || { ok=no; detail+="the program among the user's files; "; }
  isit_run "$(winepath -u "$location" 2>/dev/null)/Uninstall SongUploader.exe" /S
  [[ "$(cat "$music/README.txt" "$music/LICENSE.txt" "$music/notes.txt" 2>/dev/null)" == \
     "$(printf 'my read-me\r\nmy licence\r\nnotes\r')" ]] || { ok=no; detail+="the user's files changed; "; }
  ! reg_key_exists "$isit_uninstall_key" || { ok=no; detail+="the uninstall entry stayed; "; }
  if [[ $ok == yes ]]; then pass "$name"; else fail "$name" "$detail"; fi

  # When the SongUploader folder inside holds files of the user's too, nothing is installed.
  name="a folder whose SongUploader folder holds the user's files too is refused, with a non-zero exit code"
  mkdir -p "$music/SongUploader"
  printf 'mine\r\n' >"$music/SongUploader/setlist.txt"
  local code before
  before=$(cd "$music" && find . | LC_ALL=C sort | tr '\n' ' ')
  isit_run "$setup" /S '/D=C:\Music'; code=$?
  if [[ $code -ne 0 && "$(cd "$music" && find . | LC_ALL=C sort | tr '\n' ' ')" == "$before" ]] &&
     ! reg_key_exists "$isit_uninstall_key"; then
    pass "$name"
  else
    fail "$name" "exit code $code; $(cd "$music" && find . | LC_ALL=C sort | tr '\n' ' ')"
  fi
}

# --- SongUploader running ---
isit_running_checks() {
  local older="$1"
  isit_fresh_prefix
  export WINEDLLOVERRIDES="winemenubuilder.exe=d"
  isit_run "$older" /S
  python3 scripts/make_examples.py "$scratch/songs" >/dev/null 2>&1
  local code shown=yes while_running
  isit_start_program || shown=no
  wine "$setup" /S >/dev/null 2>&1; code=$?
  while_running="shown: $shown, exit code $code, version $(reg_value "$isit_uninstall_key" DisplayVersion)"
  # In place (_?=), the uninstaller's exit code is its own.
  wine "$folder/Uninstall SongUploader.exe" /S "_?=$programs" >/dev/null 2>&1; code=$?
  if [[ $code -ne 0 && -f "$folder/SongUploader.exe" ]] && reg_key_exists "$isit_uninstall_key"; then
    pass "an uninstallation while SongUploader runs exits non-zero and leaves it installed"
  else
    fail "an uninstallation while SongUploader runs exits non-zero and leaves it installed" \
      "exit code $code, program: $(ls "$folder/SongUploader.exe" 2>&1)"
  fi
  isit_stop_program
  # A file of the user's own in the folder is no part of the size shown under installed apps.
  head -c 3000000 /dev/zero >"$folder/recording.wav"
  isit_run "$setup" /S; code=$?
  local name="a silent upgrade while SongUploader runs exits non-zero, version 0.9.0 staying; once it is closed,"
  name+=" the upgrade installs version $version and exits 0"
  if [[ "$while_running" == "shown: yes, exit code "[1-9]*", version 0.9.0" &&
        "$code $(reg_value "$isit_uninstall_key" DisplayVersion)" == "0 $version" ]]; then
    pass "$name"
  else
    fail "$name" "while running: $while_running; once closed: exit code $code"
  fi
  local bytes=0 file
  for file in SongUploader.exe sqfconv2.dll "SongUploader README.txt" "SongUploader LICENSE.txt" \
              "Uninstall SongUploader.exe"; do
    bytes=$((bytes + $(stat -c %s "$folder/$file" 2>/dev/null || echo 0)))
  done
  check "the size under installed apps counts our files only" \
    test "$(reg_value "$isit_uninstall_key" EstimatedSize)" = "$(printf '0x%x' $(((bytes + 1023) / 1024)))"

  # A file that cannot be written (here a folder in its place) stops the upgrade before it names the new
  # version.
  isit_run "$older" /S
  rm -f "$folder/sqfconv2.dll" && mkdir "$folder/sqfconv2.dll"
  isit_run "$setup" /S; code=$?
  if [[ $code -ne 0 && "$(reg_value "$isit_uninstall_key" DisplayVersion)" == 0.9.0 ]]; then
    pass "a file that cannot be written fails a silent upgrade, and version 0.9.0 stays recorded"
  else
    fail "a file that cannot be written fails a silent upgrade, and version 0.9.0 stays recorded" \
      "exit code $code, version $(reg_value "$isit_uninstall_key" DisplayVersion)"
  fi
  unset WINEDLLOVERRIDES
}

# --- an upgrade into another folder ---
isit_other_folder_check() {
  local older="$1" name="an upgrade into another folder leaves no earlier copy, and takes its settings along"
  isit_fresh_prefix
  export WINEDLLOVERRIDES="winemenubuilder.exe=d"
  isit_run "$older" /S
  printf '[SONGPORT]\r\nIN=1\r\nOUT=1\r\n' >"$folder/SongUploader.INI"
  local first="$folder" second="$WINEPREFIX/drive_c/Other/SongUploader" ok=yes detail=""
  isit_run "$setup" /S '/D=C:\Other\SongUploader' || { ok=no; detail+="setup failed; "; }
  [[ -f "$second/SongUploader.exe" ]] || { ok=no; detail+="nothing in the new folder; "; }
  [[ ! -e "$first/SongUploader.exe" && ! -e "$first/sqfconv2.dll" ]] || { ok=no; detail+="the earlier copy stayed; "; }
  [[ "$(cat "$second/SongUploader.INI" 2>/dev/null)" == "$(printf '[SONGPORT]\r\nIN=1\r\nOUT=1\r')" ]] ||
    { ok=no; detail+="the settings did not come along; "; }
  [[ "$(reg_value "$isit_uninstall_key" InstallLocation)" == 'C:\Other\SongUploader' ]] ||
    { ok=no; detail+="the uninstall entry names $(reg_value "$isit_uninstall_key" InstallLocation); "; }
  if [[ $ok == yes ]]; then pass "$name"; else fail "$name" "$detail"; fi

  name="the earlier folder's uninstaller, where one is left, takes nothing of the new installation's"
  ok=yes detail=""
  [[ -f "$first/Uninstall SongUploader.exe" ]] && isit_run "$first/Uninstall SongUploader.exe" /S
  local shortcut
  shortcut=$(winepath -u "$(wine cmd /c 'echo %APPDATA%' 2>/dev/null | tr -d '\r')"'\Microsoft\Windows\Start Menu\Programs\SongUploader.lnk' 2>/dev/null)
  [[ "$(reg_value "$isit_uninstall_key" InstallLocation)" == 'C:\Other\SongUploader' ]] ||
    { ok=no; detail+="the uninstall entry is gone; "; }
  [[ "$(reg_value 'HKCU\Software\Classes\SongUploader.MidiFile\shell\open\command' "")" == \
     '"C:\Other\SongUploader\SongUploader.exe" "%1"' ]] || { ok=no; detail+="the \"Open with\" entry is gone; "; }
  [[ -f "$shortcut" ]] || { ok=no; detail+="the shortcut is gone; "; }
  if [[ $ok == yes ]]; then pass "$name"; else fail "$name" "$detail"; fi
  unset WINEDLLOVERRIDES
}

# --- a folder whose name the ANSI code page cannot hold ---
# The uninstall entry's InstallLocation as written ("reg query" prints it in the console's code page).
isit_exported_location() {
  wine reg export "$isit_uninstall_key" "$(winepath -w "$scratch/isit-entry.reg" 2>/dev/null)" /y >/dev/null 2>&1
  iconv -f UTF-16 -t UTF-8 "$scratch/isit-entry.reg" 2>/dev/null | tr -d '\r' |
    sed -n 's/^"InstallLocation"="\(.*\)"$/\1/p' | sed 's/\\\\/\\/g'
}

# The end-to-end test of the port choice runs against the installed program there (e2e_tests, with the virtual
# MIDI interface put beside it for the test only).
isit_wide_folder_check() {
  local name="installed into a folder named outside the code page, the program keeps the port choice (and /REMOVESETTINGS removes it and the keyboards remembered)"
  local wide='C:\users\დიმიტრი\SongUploader' tests="$SU_WINDOWS_BUILD/test-bin/e2e_tests.exe"
  local ok=yes detail="" unix
  if [[ ! -f "$tests" ]]; then fail "$name" "no $tests (build the Windows tests)"; return; fi
  isit_fresh_prefix
  export WINEDLLOVERRIDES="winemenubuilder.exe=d"
  # Wine reads the folder's name from its command line and environment in the Unix locale's encoding.
  local LC_ALL=C.UTF-8
  export LC_ALL
  isit_run "$setup" /S "/D=$wide" || { ok=no; detail+="setup failed; "; }
  unix=$(winepath -u "$wide" 2>/dev/null)
  [[ -f "$unix/SongUploader.exe" && "$(isit_exported_location)" == "$wide" ]] ||
    { ok=no; detail+="not installed there; "; }
  SU_E2E_INSTALLED_FOLDER="$wide" wine "$tests" --gtest_filter='MidiDevice.InAFolder*' >"$scratch/isit-e2e.log" 2>&1 ||
    { ok=no; detail+="the port choice was not kept: $(grep -m1 -A3 Failure "$scratch/isit-e2e.log" | tr '\n' ' '); "; }
  wineserver -w 2>/dev/null
  # The keyboards the program remembers are settings too.
  local state
  state=$(winepath -u "$(wine cmd /c 'echo %LOCALAPPDATA%' 2>/dev/null | tr -d '\r')\SongUploader" 2>/dev/null)
  mkdir -p "$state" && printf 'remembered\n' >"$state/keyboards.txt"
  isit_run "$unix/Uninstall SongUploader.exe" /S /REMOVESETTINGS
  [[ ! -e "$unix" ]] || { ok=no; detail+="left behind: $(ls "$unix" | tr '\n' ' '); "; }
  [[ ! -e "$state" ]] || { ok=no; detail+="/REMOVESETTINGS left $(ls "$state" | tr '\n' ' '); "; }
  if [[ $ok == yes ]]; then pass "$name"; else fail "$name" "$detail"; fi
  unset WINEDLLOVERRIDES
}

installer_situations() {
  local older="$scratch/SongUploader-0.9.0-setup.exe"
  [[ -f "$older" ]] || SU_WINDOWS_BUILD="$SU_WINDOWS_BUILD" su_make_installer 0.9.0 "$unpacked" "$older" >/dev/null
  isit_path_checks
  isit_user_folder_check
  isit_running_checks "$older"
  isit_other_folder_check "$older"
  isit_wide_folder_check
  wineserver -k 2>/dev/null
}
