# Shared by the benchmarks over JACK: a scratch folder $work removed at the end, the JACK server that runs (else
# one started with its dummy back-end and stopped at the end), the keyboard player started and stopped, and
# wall-clock timing. The caller sets $su (songuploader) and $player_bin (the keyboard player) before sourcing this.

for program in "$su" "$player_bin"; do
  [[ -x "$program" ]] || { echo "no $program: build songuploader and keyboard_player first" >&2; exit 1; }
done
work="$(mktemp -d)"
jackd_pid=""
player_pid=""
cleanup() {
  [[ -n "$player_pid" ]] && kill "$player_pid" 2>/dev/null && wait "$player_pid" 2>/dev/null
  [[ -n "$jackd_pid" ]] && kill "$jackd_pid" 2>/dev/null && wait "$jackd_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

if [[ "$(jack_wait -c 2>/dev/null)" != "running" ]]; then
  jackd -d dummy -r 48000 -p 256 >"$work/jackd.log" 2>&1 &
  jackd_pid=$!
  for _ in $(seq 1 50); do [[ "$(jack_wait -c 2>/dev/null)" == "running" ]] && break; sleep 0.1; done
fi

# A keyboard of the config lines in `$1` behind the player, ready when it says so.
start_player() {
  printf 'in=SU Keyboard In\nout=SU Keyboard Out\n%b' "$1" >"$work/keyboard.cfg"
  mkfifo "$work/ready"
  "$player_bin" "$work/keyboard.cfg" --api jack >"$work/ready" &
  player_pid=$!
  read -r line <"$work/ready"
  rm -f "$work/ready"
  [[ "$line" == "ready" ]] || { echo "the keyboard player did not start" >&2; exit 1; }
}
stop_player() {
  kill "$player_pid" 2>/dev/null || true
  wait "$player_pid" 2>/dev/null || true
  player_pid=""
}
now() { date +%s.%N; }
since() { awk -v start="$1" -v end="$(now)" 'BEGIN { printf "%.3f\n", end - start }'; }
median() { sort -n | awk '{ t[NR] = $1 } END { print (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2 }'; }
