#!/usr/bin/env bash
# The real program under Wine sending a song of about 200 KB to the virtual keyboard through the real WinMM
# path, once with the keyboard answering at once and once with a 1 ms round trip. Reports the wall time per
# data block, the program's own turn per block (answer landed -> next block handed to the driver) and the
# keyboard's own time, as median and mean (see wine_transfer_driver.cpp).
#
# Usage: bench/wine_transfer.sh WINDOWS_BUILD_DIR [DELAY_MS...]   (default delays: 0 1)
# Uses the build folder's Wine prefix, and a virtual display of its own when DISPLAY is not usable.
set -euo pipefail
build="$(cd "${1:?usage: wine_transfer.sh WINDOWS_BUILD_DIR [DELAY_MS...]}" && pwd)"
shift
delays=("$@")
[[ ${#delays[@]} -gt 0 ]] || delays=(0 1)
driver="$build/test-bin/wine_transfer_driver.exe"
[[ -f "$driver" ]] || { echo "no $driver: build the Windows target first" >&2; exit 1; }

export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEARCH=win64
xvfb_pid=""
cleanup() {
  wineserver -k 2>/dev/null || true
  [[ -z "$xvfb_pid" ]] || kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
if [[ -z "${DISPLAY:-}" ]] || ! xdpyinfo >/dev/null 2>&1; then
  for n in $(seq 140 180); do
    [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    break
  done
fi
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
  WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1
fi
for delay in "${delays[@]}"; do
  wine "$driver" "$delay"
done
