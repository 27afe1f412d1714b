#!/usr/bin/env bash
# Three songs sent as one plan (`send A B C --slot free`: the keyboard found once, its slots read once before
# and once after) against three separate `send SONG --slot free` runs (each finds the keyboard and reads every
# slot again), to the same virtual keyboard behind the keyboard player over JACK, for a family B and a family
# C keyboard. Each run starts from an empty keyboard (a fresh keyboard player). Reports the median wall time of
# RUNS runs of each way, and the plan's share of the separate runs' time.
#
# Uses the JACK server that runs (JACK_DEFAULT_SERVER chooses it), else starts one with its dummy back-end and
# stops it at the end.
#
# Usage: bench/several_songs.sh NATIVE_BUILD_DIR [RUNS]
set -euo pipefail
build="${1:?usage: several_songs.sh NATIVE_BUILD_DIR [RUNS]}"
runs="${2:-3}"
root="$(cd "$(dirname "$0")/.." && pwd)"
su="$build/bin/songuploader"
player_bin="$build/bin/keyboard_player"
source "$(dirname "$0")/keyboard_player.sh"
# The keyboard found is remembered in the benchmark's own state folder (as a user's would be), not the user's.
export XDG_STATE_HOME="$work/state"

python3 "$root/scripts/make_examples.py" "$work/songs" >/dev/null
songs=("$work/songs/scale_format0.mid" "$work/songs/band_format1.mid" "$work/songs/waltz_smpte.mid")

printf '%-8s %12s %14s %7s\n' family plan_s separate_s ratio
for family in "B:family=b\nmodel=2\n" "C:model=2\n"; do
  letter=${family%%:*}
  config=${family#*:}
  plan_times=()
  separate_times=()
  for run in $(seq 1 "$runs"); do
    # Each way starts from a keyboard never found before on these ports: the first search is a full one.
    export XDG_STATE_HOME="$work/state/$letter-plan-$run"
    start_player "$config"
    start=$(now)
    "$su" --api jack send "${songs[@]}" --slot free --yes --quiet >/dev/null
    plan_times+=("$(since "$start")")
    stop_player

    export XDG_STATE_HOME="$work/state/$letter-separate-$run"
    start_player "$config"
    start=$(now)
    for song in "${songs[@]}"; do "$su" --api jack send "$song" --slot free --yes --quiet >/dev/null; done
    separate_times+=("$(since "$start")")
    stop_player
  done
  plan=$(printf '%s\n' "${plan_times[@]}" | median)
  separate=$(printf '%s\n' "${separate_times[@]}" | median)
  awk -v f="$letter" -v p="$plan" -v s="$separate" 'BEGIN { printf "%-8s %12.2f %14.2f %7.2f\n", f, p, s, p / s }'
done
