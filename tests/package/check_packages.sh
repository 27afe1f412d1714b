#!/usr/bin/env bash
# Builds the release packages (scripts/package) and uses them as a user would:
#   - the Windows zip unpacked into a fresh folder holds only what ships, its program carries the version in its
#     file properties, and under Wine the program shows the Selection dialog for a song (the virtual MIDI
#     interface is copied in for this check only) and the console build prints the version;
#   - the Debian package installs with apt-get, its man page shows, `songuploader --version` prints the version,
#     and apt-get removes it again without leaving the program behind (as root only; skipped otherwise);
#   - the web zip holds the page's static files only (never the Web MIDI stand-in), matches its checksum, and
#     its page allows nothing but its own files and WebAssembly.
# Ends with "N passed, N failed, N skipped". SU_NATIVE_BUILD, SU_WINDOWS_BUILD and SU_PACKAGE_OUT as for
# scripts/package; the Wine prefix is the Windows build's own.
set -uo pipefail
source "$(dirname "$0")/../../scripts/lib/common.sh"
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
expected=$'app.js\ncore-api.js\ncore.js\ncore.wasm\nicon-192.png\nicon-512.png\nicon-maskable-512.png\nindex.html\nmanifest.webmanifest\nstyle.css\nsw.js\nupdates.js\nzip.js'
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
