#!/usr/bin/env bash
# Conversions with fresh memory: every conversion runs in a process of its own (convert_runner), as in the
# program, where each run converts one song once, into a work folder of its own: the song file it writes
# never exists before (it is removed before each run, so no run pays for replacing the last one's). For each realistic song it reports the conversion time
# (median and mean over RUNS processes, measured inside the process around ConvertSqfToPK) and the peak
# memory of one conversion above that of converting a one-note song (the same code, mapped in the same way:
# what is left is the memory that grows with the song), against three times the input plus the output.
#
# Usage: bench/converter_fresh.sh NATIVE_BUILD_DIR [RUNS]
set -euo pipefail
build="${1:?usage: converter_fresh.sh NATIVE_BUILD_DIR [RUNS]}"
runs="${2:-15}"
runner="$build/bench/convert_runner"
[[ -x "$runner" ]] || { echo "no $runner: build the native target first" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

"$runner" songs "$work" >/dev/null
# One track: a note on, its note off a quarter later, the end of the track.
printf 'MThd\x00\x00\x00\x06\x00\x00\x00\x01\x00\x60MTrk\x00\x00\x00\x0c\x00\x90\x3c\x40\x60\x80\x3c\x40\x00\xff\x2f\x00' \
  >"$work/one_note.mid"
idle_kb=$(/usr/bin/time -f %M "$runner" convert "$work/one_note.mid" 2>&1 >/dev/null | tail -1)

printf '%-16s %9s %10s %10s %9s %9s %9s %9s %6s\n' song input_KB median_us mean_us MB/s peak_KB output_KB budget_KB ok
for mid in "$work"/50KB_9tracks.mid "$work"/1MB_25tracks.mid "$work"/14MB_65tracks.mid; do
  name="$(basename "$mid" .mid)"
  input=$(stat -c %s "$mid")
  times=()
  for _ in $(seq 1 "$runs"); do
    rm -f "${mid%.mid}.sq2"
    times+=("$("$runner" convert "$mid")")
  done
  rm -f "${mid%.mid}.sq2"
  peak_kb=$(/usr/bin/time -f %M "$runner" convert "$mid" 2>&1 >/dev/null | tail -1)
  output=$(stat -c %s "${mid%.mid}.sq2")
  printf '%s\n' "${times[@]}" | sort -n | awk -v name="$name" -v input="$input" -v output="$output" \
      -v peak="$peak_kb" -v idle="$idle_kb" '
    { t[NR] = $1; sum += $1 }
    END {
      median = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
      mean = sum / NR
      used = peak - idle
      budget = (3 * input + output) / 1024
      printf "%-16s %9.0f %10.0f %10.0f %9.1f %9d %9.0f %9.0f %6s\n", name, input / 1024, median, mean,
             input / median, used, output / 1024, budget, (used <= budget ? "yes" : "no")
    }'
done
echo "peak_KB: the conversion's peak resident memory above a one-note song's ($idle_kb KB)"
