# Shared by the benchmarks over JACK: the keyboard player started and stopped, and wall-clock timing.
# The caller sets $work (a scratch folder) and $player_bin (the keyboard player) before sourcing this.

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
