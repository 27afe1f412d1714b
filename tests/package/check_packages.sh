#!/usr/bin/env bash
# Builds the release packages (scripts/package) and uses them as a user would:
#   - the Windows zip unpacked into a fresh folder holds only what ships, its program carries the version in its
#     file properties, and under Wine the program shows the Selection dialog for a song (the virtual MIDI
#     interface is copied in for this check only) and the console build prints the version;
#   - the Debian package installs with apt-get, its man page shows, `songuploader --version` prints the version,
#     and apt-get removes it again without leaving the program behind (as root only; skipped otherwise);
#   - the installer, run silently in a fresh Wine prefix as an upgrade over an older version, keeps the settings
#     file, installs the program, the Start menu shortcut, the "Open with" entries and the uninstall entry, and
#     its program shows the Selection dialog for a song as "Open with" starts it; a PATH too long for it is left
#     whole; the uninstaller leaves nothing of ours (the settings file only when not asked to remove it); then
#     the situations of a user's own machine (installer_situations.sh): the user's PATH, folder and files, a
#     running program, an upgrade into another folder, a folder named outside the code page;
#   - the web zip holds the page's static files only (never the Web MIDI stand-in), matches its checksum, and
#     its page allows nothing but its own files and WebAssembly.
# Ends with "N passed, N failed, N skipped". SU_NATIVE_BUILD, SU_WINDOWS_BUILD and SU_PACKAGE_OUT as for
# scripts/package; the Wine prefix is the Windows build's own.
set -uo pipefail
source "$(dirname "$0")/../../scripts/lib/common.sh"
source "$(dirname "$0")/installer_situations.sh"
cd "$ROOT" || exit 1

export SU_WINDOWS_BUILD="${SU_WINDOWS_BUILD:-$ROOT/build/windows}"
export SU_PACKAGE_OUT="${SU_PACKAGE_OUT:-$ROOT/build/packages}"
version=$(sed -nE 's/^project\(SongUploader VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
zip="$SU_PACKAGE_OUT/SongUploader-$version-win64.zip"
deb="$SU_PACKAGE_OUT/songuploader_${version}_$(dpkg --print-architecture).deb"
webzip="$SU_PACKAGE_OUT/SongUploader-$version-web.zip"

passed=0 failed=0 skipped=0
pass() { echo "PASS $1"; passed=$((passed + 1)); }
fail() { echo "FAIL $1${2:+: $2}"; failed=$((failed + 1)); }
skip() { echo "SKIP $1: $2"; skipped=$((skipped + 1)); }
check() {  # check NAME COMMAND...: passes when the command succeeds
  local name="$1"; shift
  if "$@"; then pass "$name"; else fail "$name"; fi
}
summary() { echo "$passed passed, $failed failed, $skipped skipped"; [[ $failed -eq 0 ]]; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/su-packages.XXXXXX")
cleanup() {
  [[ -n "${program_pid:-}" ]] && kill "$program_pid" 2>/dev/null
  [[ -n "${WINEPREFIX:-}" ]] && wineserver -k 2>/dev/null
  su_stop_virtual_display
  rm -rf "$scratch"
}
trap cleanup EXIT

if scripts/package >"$scratch/package.log" 2>&1 && [[ -f "$zip" && -f "$deb" && -f "$webzip" ]]; then
  pass "the three packages built, named after version $version"
else
  cat "$scratch/package.log"; fail "the three packages built, named after version $version"
  summary; exit 1
fi

# --- the Windows zip ---
unpacked="$scratch/SongUploader-$version-win64"
cmake -E chdir "$scratch" cmake -E tar xf "$zip"
expected=$'LICENSE.txt\nREADME.txt\nSongUploader.exe\nsonguploader-cli.exe\nsqfconv2.dll'
found=$(cd "$unpacked" 2>/dev/null && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
if [[ "$found" == "$expected" ]]; then pass "zip holds the program, its DLL, the console build, read-me and licence only"
else fail "zip holds the program, its DLL, the console build, read-me and licence only" "$(tr '\n' ' ' <<<"$found")"; fi

# --- the web zip ---
web_unpacked="$scratch/SongUploader-$version-web"
cmake -E chdir "$scratch" cmake -E tar xf "$webzip"
expected=$'app.js\ncore-api.js\ncore.js\ncore.wasm\ndialogs.js\nframe.js\nicon-192.png\nicon-512.png\nicon-maskable-512.png\nindex.html\nkeyboard-lock.js\nkeyboard.js\nmanifest.webmanifest\nsaving.js\nsends.js\nslot-table.js\nsongs.js\nstyle.css\nsw.js\ntexts.js\nupdates.js\nzip.js'
found=$(cd "$web_unpacked" 2>/dev/null && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
if [[ "$found" == "$expected" ]]; then pass "web zip holds the page's own files only"
else fail "web zip holds the page's own files only" "$(tr '\n' ' ' <<<"$found")"; fi
check "web zip matches its .sha256" bash -c "cd '$SU_PACKAGE_OUT' && sha256sum --quiet -c '$(basename "$webzip").sha256'"
check "the page's Content Security Policy allows only its own files and WebAssembly" \
  grep -q "content=\"default-src 'self'; script-src 'self' 'wasm-unsafe-eval';" "$web_unpacked/index.html"

# The version resource's strings are UTF-16: the value follows its key.
version_in_properties() {
  [[ $(strings -e l "$unpacked/SongUploader.exe" | grep -A1 -x -E 'FileVersion|ProductVersion' |
       grep -c -x "$version") -eq 2 ]]
}
check "SongUploader.exe file properties carry version $version" version_in_properties

su_start_virtual_display || { fail "a display for Wine"; summary; exit 1; }
SU_WINEPREFIX="${SU_WINEPREFIX:-$SU_WINDOWS_BUILD/wineprefix}" su_prepare_wine

console=$(wine "$unpacked/songuploader-cli.exe" --version 2>/dev/null | tr -d '\r')
check "songuploader-cli.exe --version prints $version under Wine" test "$console" = "songuploader $version"

# The program from the fresh folder, with the virtual MIDI interface beside it for this check only.
winmm="$SU_WINDOWS_BUILD/test-bin/winmm.dll"
if [[ -f "$winmm" ]]; then
  python3 scripts/make_examples.py "$scratch/songs" >/dev/null 2>&1
  song=$(find "$scratch/songs" -name '*.mid' | sort | head -n 1)
  cp "$winmm" "$unpacked/"
  WINEDLLOVERRIDES="winmm=n,b" SU_VMIDI_CONFIG="$ROOT/tools/virtual_midi/demo.cfg" \
    wine "$unpacked/SongUploader.exe" "$(winepath -w "$song" 2>/dev/null)" >/dev/null 2>&1 &
  program_pid=$!
  shown=no
  for _ in $(seq 1 300); do
    if xwininfo -root -tree 2>/dev/null | grep -q '"Selection"'; then shown=yes; break; fi
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
  done
  check "the unpacked SongUploader.exe shows the Selection dialog for a song" test "$shown" = yes
  kill "$program_pid" 2>/dev/null; program_pid=""
  wineserver -k 2>/dev/null
else
  fail "the unpacked SongUploader.exe shows the Selection dialog for a song" "no $winmm (build the Windows tests)"
fi

# --- the Windows installer, in a fresh Wine prefix of its own ---
# An older version is installed first, and the settings file written, so that the current one installs as an
# upgrade; then the installation is checked as Windows sees it, the program is started as "Open with" starts
# it, and the uninstaller is run twice: keeping the settings file, then (after another installation) asked to
# remove it.
setup="$SU_PACKAGE_OUT/SongUploader-$version-setup.exe"
installer_checks=("the installer for version $version built beside the zip"
                  "a silent upgrade over version 0.9.0 keeps the settings file"
                  "the program, the console build, the uninstaller and the Start menu shortcut are installed"
                  "the uninstall entry names version $version and the quiet uninstaller"
                  "\"Open with\" lists SongUploader for .mid and .midi without taking the default program"
                  "the console build is on the user's PATH, the user's own entries kept"
                  "the program started as \"Open with\" starts it shows the Selection dialog for the song"
                  "the uninstaller leaves nothing of ours but the settings file, and the user's own keys"
                  "a PATH longer than the installer can read whole is left as it was"
                  "the uninstaller asked to remove the settings file leaves nothing of ours")
if [[ ! -f "$setup" ]]; then
  for name in "${installer_checks[@]}" "the installer on a user's machine"; do fail "$name" "no $setup"; done
else
  pass "${installer_checks[0]}"
  SU_WINEPREFIX="$scratch/prefix" su_prepare_wine
  # No menu entries for the Linux desktop from the shortcut.
  export WINEDLLOVERRIDES="winemenubuilder.exe=d"
  classes='HKCU\Software\Classes'
  uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\SongUploader'
  # reg_value and reg_key_exists: installer_situations.sh
  # The user's own: a PATH entry and a default program for .mid, there before SongUploader.
  user_path='C:\Tools'
  wine reg add 'HKCU\Environment' /v Path /t REG_EXPAND_SZ /d "$user_path" /f >/dev/null 2>&1
  wine reg add "$classes\\.mid" /ve /d 'OtherPlayer.mid' /f >/dev/null 2>&1

  older="$scratch/SongUploader-0.9.0-setup.exe"
  SU_WINDOWS_BUILD="$SU_WINDOWS_BUILD" su_make_installer 0.9.0 "$unpacked" "$older" >/dev/null
  wine "$older" /S >/dev/null 2>&1
  programs=$(wine cmd /c 'echo %LOCALAPPDATA%' 2>/dev/null | tr -d '\r')'\Programs\SongUploader'
  folder=$(winepath -u "$programs" 2>/dev/null)
  shortcut=$(winepath -u "$(wine cmd /c 'echo %APPDATA%' 2>/dev/null | tr -d '\r')"'\Microsoft\Windows\Start Menu\Programs\SongUploader.lnk' 2>/dev/null)
  printf '[MIDI]\r\nIn=1\r\nOut=1\r\n' >"$folder/SongUploader.INI"
  wine "$setup" /S /PATH >/dev/null 2>&1
  check "${installer_checks[1]}" test "$(cat "$folder/SongUploader.INI" 2>/dev/null)" = "$(printf '[MIDI]\r\nIn=1\r\nOut=1\r\n')"

  installed=$(cd "$folder" 2>/dev/null && find . -type f | sed 's|^\./||' | LC_ALL=C sort | tr '\n' ' ')
  expected_files="SongUploader LICENSE.txt SongUploader README.txt SongUploader.INI SongUploader.exe Uninstall SongUploader.exe songuploader-cli.exe sqfconv2.dll "
  if [[ "$installed" == "$expected_files" && -f "$shortcut" ]] && cmp -s "$folder/SongUploader.exe" "$unpacked/SongUploader.exe"; then
    pass "${installer_checks[2]}"
  else
    fail "${installer_checks[2]}" "$installed; shortcut: $(ls "$shortcut" 2>&1)"
  fi
  entry_ok() {
    [[ "$(reg_value "$uninstall_key" DisplayName)" == SongUploader &&
       "$(reg_value "$uninstall_key" DisplayVersion)" == "$version" &&
       "$(reg_value "$uninstall_key" QuietUninstallString)" == "\"$programs\\Uninstall SongUploader.exe\" /S" ]]
  }
  check "${installer_checks[3]}" entry_ok
  command=$(reg_value "$classes\\SongUploader.MidiFile\\shell\\open\\command" "")
  open_with_ok() {
    reg_value "$classes\\.mid\\OpenWithProgids" SongUploader.MidiFile >/dev/null &&
      reg_value "$classes\\.midi\\OpenWithProgids" SongUploader.MidiFile >/dev/null &&
      [[ "$command" == "\"$programs\\SongUploader.exe\" \"%1\"" ]] &&
      [[ "$(reg_value "$classes\\.mid" "")" == OtherPlayer.mid ]]
  }
  check "${installer_checks[4]}" open_with_ok
  check "${installer_checks[5]}" test "$(reg_value 'HKCU\Environment' Path)" = "C:\\Tools;$programs"

  # The command "Open with" runs, with a song in place of %1.
  python3 scripts/make_examples.py "$scratch/songs" >/dev/null 2>&1
  song=$(find "$scratch/songs" -name '*.mid' | sort | head -n 1)
  wine "$(winepath -u "$programs\\SongUploader.exe")" "$(winepath -w "$song" 2>/dev/null)" >/dev/null 2>&1 &
  program_pid=$!
  shown=no
  for _ in $(seq 1 300); do
    if xwininfo -root -tree 2>/dev/null | grep -q '"Selection"'; then shown=yes; break; fi
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
  done
  check "${installer_checks[6]}" test "$shown" = yes
  kill "$program_pid" 2>/dev/null; program_pid=""
  wineserver -k 2>/dev/null; wineserver -w 2>/dev/null

  # Nothing of ours: no program file, shortcut, uninstall entry, program identifier, OpenWithProgids value or
  # PATH entry. The uninstaller copies itself away and runs from there: wineserver -w waits for that copy too.
  nothing_of_ours_but() {  # the files expected to stay in the program's folder ("" for no folder at all)
    local left
    left=$(cd "$folder" 2>/dev/null && find . -type f | sed 's|^\./||' | LC_ALL=C sort | tr '\n' ' ')
    if [[ -z "$1" ]]; then [[ ! -e "$folder" ]] || return 1; else [[ "$left" == "$1" ]] || return 1; fi
    [[ ! -e "$shortcut" ]] && ! reg_key_exists "$uninstall_key" && ! reg_key_exists "$classes\\SongUploader.MidiFile" &&
      ! reg_value "$classes\\.mid\\OpenWithProgids" SongUploader.MidiFile >/dev/null &&
      ! reg_value "$classes\\.midi\\OpenWithProgids" SongUploader.MidiFile >/dev/null &&
      ! reg_key_exists "$classes\\.mid\\OpenWithProgids" && ! reg_key_exists "$classes\\.midi" &&
      [[ "$(reg_value 'HKCU\Environment' Path)" == "$user_path" && "$(reg_value "$classes\\.mid" "")" == OtherPlayer.mid ]]
  }
  wine "$folder/Uninstall SongUploader.exe" /S >/dev/null 2>&1; wineserver -w 2>/dev/null
  check "${installer_checks[7]}" nothing_of_ours_but "SongUploader.INI "
  # The second time, a PATH of 1,400 characters: more than the installer's strings hold.
  user_path=$(for n in $(seq 100 199); do printf 'C:\\Tools\\%s;' "$n"; done)
  wine reg add 'HKCU\Environment' /v Path /t REG_EXPAND_SZ /d "$user_path" /f >/dev/null 2>&1
  wine "$setup" /S /PATH >/dev/null 2>&1
  check "${installer_checks[8]}" test "$(reg_value 'HKCU\Environment' Path)" = "$user_path"
  wine "$folder/Uninstall SongUploader.exe" /S /REMOVESETTINGS >/dev/null 2>&1; wineserver -w 2>/dev/null
  check "${installer_checks[9]}" nothing_of_ours_but ""
  wineserver -k 2>/dev/null
  unset WINEDLLOVERRIDES
  installer_situations
fi

# --- the Debian package ---
deb_checks=("installs with apt-get" "man songuploader shows its page" "songuploader --version prints $version"
            "apt-get removes it and the program is gone")
if [[ $(id -u) -ne 0 ]]; then
  for name in "${deb_checks[@]}"; do skip "$name" "installing a package needs root"; done
  summary; exit
fi
export DEBIAN_FRONTEND=noninteractive
if dpkg -s songuploader >/dev/null 2>&1; then apt-get remove -y -qq songuploader >/dev/null 2>&1; fi
if (cd "$SU_PACKAGE_OUT" && apt-get install -y -qq "./$(basename "$deb")" >"$scratch/apt.log" 2>&1) &&
   [[ -x /usr/bin/songuploader-keyboard-player && -f /usr/share/songuploader/demo.cfg ]]; then
  pass "${deb_checks[0]}"
else
  cat "$scratch/apt.log"; fail "${deb_checks[0]}"
fi
page=$(MANWIDTH=200 man -P cat songuploader 2>/dev/null)
man_page_shown() {
  grep -q "songuploader - send Standard MIDI Files to an electronic keyboard" <<<"$page" &&
    grep -q "^EXIT STATUS" <<<"$page" && grep -q "SongUploader $version" <<<"$page"
}
check "${deb_checks[1]}" man_page_shown
check "${deb_checks[2]}" test "$(songuploader --version 2>&1)" = "songuploader $version"
apt-get remove -y -qq songuploader >"$scratch/apt.log" 2>&1
if [[ ! -e /usr/bin/songuploader && ! -e /usr/bin/songuploader-keyboard-player ]] && ! dpkg -s songuploader >/dev/null 2>&1 &&
   ! man -w songuploader >/dev/null 2>&1; then
  pass "${deb_checks[3]}"
else
  cat "$scratch/apt.log"; fail "${deb_checks[3]}"
fi
summary
