#!/usr/bin/env bash
# How long finding the keyboard takes, the first time on a pair of ports and again (the keyboard found there
# asked first): `songuploader identify` against the keyboard player of each family over JACK, median of RUNS
# runs each (a first run in an empty state folder every time, a repeat run after one that remembered the
# keyboard); then the page's "Connect keyboard" up to the slot list shown, per family, in headless Chromium
# against the Web MIDI stand-in (bench/connect_page.mjs: a fresh browser profile, then after a reload), when
# the page is built (build/web, build/web-standin) and tests/web has its packages.
#
# Uses the JACK server that runs (JACK_DEFAULT_SERVER chooses it), else starts one with its dummy back-end and
# stops it at the end.
#
# Usage: bench/connect.sh NATIVE_BUILD_DIR [RUNS]
set -euo pipefail
build="${1:?usage: connect.sh NATIVE_BUILD_DIR [RUNS]}"
runs="${2:-5}"
root="$(cd "$(dirname "$0")/.." && pwd)"
su="$build/bin/songuploader"
player_bin="$build/bin/keyboard_player"
source "$(dirname "$0")/keyboard_player.sh"

# One identify with its own state folder $1; its wall time.
identify() {
  local start
  start=$(now)
  XDG_STATE_HOME="$1" "$su" --api jack identify --quiet >/dev/null
  since "$start"
}

echo "songuploader identify over JACK, median of $runs (seconds)"
printf '%-8s %8s %8s\n' family first repeat
for family in "C:model=2\n" "A:family=a\n" "B:family=b\nmodel=2\n"; do
  letter=${family%%:*}
  start_player "${family#*:}"
  first_times=()
  repeat_times=()
  for run in $(seq 1 "$runs"); do first_times+=("$(identify "$work/first-$letter-$run")"); done
  identify "$work/repeat-$letter" >/dev/null
  for _ in $(seq 1 "$runs"); do repeat_times+=("$(identify "$work/repeat-$letter")"); done
  stop_player
  printf '%-8s %8.2f %8.2f\n' "$letter" "$(printf '%s\n' "${first_times[@]}" | median)" \
    "$(printf '%s\n' "${repeat_times[@]}" | median)"
done

if [[ -f "$root/build/web/index.html" && -d "$root/build/web-standin" && -d "$root/tests/web/node_modules" ]]; then
  node "$root/bench/connect_page.mjs" --runs "$runs"
else
  echo "the page's figures: build the page (scripts/web) and run npm ci in tests/web first"
fi
