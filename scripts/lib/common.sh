# Shared set-up for scripts/run and scripts/test: the packages a fresh Debian machine lacks, the virtual
# display and the Wine prefix. Sourced, not run.

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

# command-or-file -> Debian package that provides it
SU_NEEDS=(
  "cmake:cmake"
  "make:make"
  "g++:g++"
  "python3:python3"
  "/usr/src/googletest/CMakeLists.txt:googletest"
  "/usr/include/gtest/gtest.h:libgtest-dev"
  "/usr/include/benchmark/benchmark.h:libbenchmark-dev"
  "x86_64-w64-mingw32-g++-posix:g++-mingw-w64-x86-64-posix"
  "x86_64-w64-mingw32-gcc-posix:gcc-mingw-w64-x86-64-posix"
  "x86_64-w64-mingw32-windres:binutils-mingw-w64-x86-64"
  "/usr/lib/wine/wine64:wine64"
  "wine:wine"
  "Xvfb:xvfb"
  "xdpyinfo:x11-utils"
  "import:imagemagick"
  "/usr/share/i18n/locales/ja_JP:locales"
  "pkg-config:pkg-config"
  "/usr/include/rtmidi/RtMidi.h:librtmidi-dev"
  "/usr/include/nlohmann/json.hpp:nlohmann-json3-dev"
  "/usr/include/jack/jack.h:libjack-jackd2-dev"
  "jackd:jackd2"
  "dpkg-shlibdeps:dpkg-dev"
  "man:man-db"
  "makensis:nsis"
  "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf:fonts-liberation"
)
# The web page: its Emscripten build (with Debian's Terser, which minifies the page's scripts) and a server for
# it (SU_WEB_BUILD_NEEDS), and its tests in real browsers,
# Chromium and Firefox ESR (the Node.js packages of tests/web come from npm, pinned by its lock file).
SU_WEB_BUILD_NEEDS=(
  "python3:python3"
  "cmake:cmake"
  "make:make"
  "emcc:emscripten"
  "node:nodejs"
  "/usr/share/nodejs/terser/package.json:node-terser"
)
SU_WEB_NEEDS=(
  "${SU_WEB_BUILD_NEEDS[@]}"
  "chromium:chromium"
  "firefox-esr:firefox-esr"
  "node:nodejs"
  "npm:npm"
)
SU_FUZZ_NEEDS=(
  "clang++:clang"
  "/usr/lib/llvm-14/lib/clang/14.0.6/lib/linux/libclang_rt.fuzzer-x86_64.a:libclang-rt-14-dev"
)

su_missing_packages() {
  local entry what pkg missing=()
  for entry in "$@"; do
    what="${entry%%:*}"; pkg="${entry#*:}"
    if [[ "$what" == /* ]]; then [[ -e "$what" ]] || missing+=("$pkg")
    else command -v "$what" >/dev/null 2>&1 || missing+=("$pkg"); fi
  done
  printf '%s\n' "${missing[@]}" | sort -u | sed '/^$/d'
}

# Installs what is missing when run as root; otherwise prints the one command that would and fails.
su_ensure_packages() {
  local missing
  missing=$(su_missing_packages "$@" | tr '\n' ' ')
  [[ -z "${missing// /}" ]] && return 0
  if [[ $(id -u) -eq 0 ]]; then
    echo "Installing: $missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $missing
  else
    echo "Missing packages. Install them with:"
    echo "  sudo apt-get update && sudo apt-get install -y --no-install-recommends $missing"
    return 1
  fi
}

# Starts a virtual X display when none is given; sets DISPLAY and SU_XVFB_PID.
su_start_virtual_display() {
  if [[ -n "${DISPLAY:-}" ]] && xdpyinfo >/dev/null 2>&1; then return 0; fi
  local n
  for n in $(seq 91 120); do
    [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    SU_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && return 0; sleep 0.1; done
    kill "$SU_XVFB_PID" 2>/dev/null || true
  done
  echo "Could not start a virtual display" >&2
  return 1
}

su_stop_virtual_display() {
  if [[ -n "${SU_XVFB_PID:-}" ]]; then kill "$SU_XVFB_PID" 2>/dev/null || true; fi
}

# The dialogs' font, "MS Sans Serif", is not among Wine's fonts here; without a word from us Wine draws it in
# whatever sans-serif font the system offers first, often one far wider than Windows' (labels then wrap).
# Liberation Sans has Windows' metrics for its sans-serif text.
SU_WINE_DIALOG_FONT="Liberation Sans"

# A Wine prefix of our own inside the build folder, made once, with the dialogs' font replaced as above.
su_prepare_wine() {
  export WINEPREFIX="${SU_WINEPREFIX:-$ROOT/build/windows/wineprefix}"
  export WINEARCH=win64
  export WINEDEBUG="${WINEDEBUG:--all}"
  if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    echo "Preparing the Wine prefix in $WINEPREFIX (first run only)..."
    # No browser or .NET runtime is wanted: keep their installers from asking.
    WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
  fi
  if ! grep -q "^\"MS Sans Serif\"=\"$SU_WINE_DIALOG_FONT\"" "$WINEPREFIX/system.reg" 2>/dev/null; then
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' /v "MS Sans Serif" \
      /d "$SU_WINE_DIALOG_FONT" /f >/dev/null 2>&1 || true
    wineserver -w || true
  fi
}

# The Windows installer SongUploader-<version>-setup.exe, made by makensis from installer/songuploader.nsi:
#   su_make_installer VERSION FOLDER OUTPUT   (FOLDER holds the files of the Windows zip; the icon comes from
#   the Windows build in SU_WINDOWS_BUILD, default build/windows)
su_make_installer() {
  local icon="${SU_WINDOWS_BUILD:-$ROOT/build/windows}/resources/songuploader.ico"
  makensis -V2 -NOCD "-DVERSION=$1" "-DSTAGE=$2" "-DICON=$icon" "-DOUTFILE=$3" "$ROOT/installer/songuploader.nsi"
}

# The native build in build/native, or in the folder given; further arguments are build options (--target ...).
su_build_native() {
  local dir="${1:-$ROOT/build/native}"
  cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$dir" -j"$(nproc)" "${@:2}"
}

# The native tests once more with AddressSanitizer and UndefinedBehaviorSanitizer: any read past a buffer or
# undefined arithmetic fails the run.
su_build_sanitized() {
  local flags="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
  cmake -S "$ROOT" -B "$ROOT/build/sanitize" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_C_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
  cmake --build "$ROOT/build/sanitize" -j"$(nproc)"
}

# A JACK server with its dummy back-end for the command line's end-to-end tests, unless one already runs;
# sets SU_JACKD_PID when it started one (su_stop_jack stops only that one). JACK carries MIDI one period at a
# time, and a period a client misses under load (an xrun) loses its messages: periods of 256 frames (5.3 ms)
# keep a busy machine from losing a song's blocks (at 64 frames, about half the long sends on a loaded machine
# lost one and ended in the time-out).
su_start_jack() {
  SU_JACKD_PID=""
  if su_jack_running; then return 0; fi
  jackd -d dummy -r 48000 -p 256 >"$ROOT/build/jackd.log" 2>&1 &
  SU_JACKD_PID=$!
  for _ in $(seq 1 50); do su_jack_running && return 0; sleep 0.1; done
  su_stop_jack
  echo "Could not start a JACK server (see build/jackd.log)" >&2
  return 1
}

su_jack_running() { [[ "$(jack_wait -c 2>/dev/null)" == "running" ]]; }

su_stop_jack() {
  if [[ -n "${SU_JACKD_PID:-}" ]]; then
    kill "$SU_JACKD_PID" 2>/dev/null || true
    wait "$SU_JACKD_PID" 2>/dev/null || true
    SU_JACKD_PID=""
  fi
}

# The Emscripten build in build/emscripten: the page assembled in build/web/ and the test-and-demo-only Web
# MIDI stand-in in build/web-standin/. Emscripten's own tools find their JavaScript parser only among Debian's
# Node.js modules, which this machine's Node.js does not search by itself.
su_build_web() {
  local dir="${1:-$ROOT/build/emscripten}" node_path="/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}"
  mkdir -p "$dir"
  if ! NODE_PATH="$node_path" emcmake cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=Release >"$dir/configure.log" 2>&1
  then
    cat "$dir/configure.log" >&2
    return 1
  fi
  NODE_PATH="$node_path" cmake --build "$dir" -j"$(nproc)" "${@:2}"
}

# The mingw build in build/windows, or in the folder given; further arguments are build options.
su_build_windows() {
  local dir="${1:-$ROOT/build/windows}"
  cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" >/dev/null
  cmake --build "$dir" -j"$(nproc)" "${@:2}"
}
