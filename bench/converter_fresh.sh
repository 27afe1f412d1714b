#!/usr/bin/env bash
# Conversions with fresh memory: every conversion runs in a process of its own (convert_runner), as in the
# program, where each run converts one song once. For each realistic song it reports the conversion time
# (median and mean over RUNS processes, measured inside the process around ConvertSqfToPK) and the peak
# memory of one conversion above an idle runner's, against three times the input plus the output.
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
idle_kb=$(/usr/bin/time -f %M "$runner" idle 2>&1 >/dev/null | tail -1)

printf '%-16s %9s %10s %10s %9s %9s %9s %9s %6s\n' song input_KB median_us mean_us MB/s peak_KB output_KB budget_KB ok
for mid in "$work"/50KB_9tracks.mid "$work"/1MB_25tracks.mid "$work"/14MB_65tracks.mid; do
  name="$(basename "$mid" .mid)"
  input=$(stat -c %s "$mid")
  times=()
  for _ in $(seq 1 "$runs"); do times+=("$("$runner" convert "$mid")"); done
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
echo "peak_KB: the conversion's peak resident memory above an idle runner's ($idle_kb KB)"
