#!/bin/bash
# The README's steps for trying songuploader without a keyboard, run as written in a fresh folder that holds
# only the built programs, the tools and the scripts. The build step is passed over (the programs are built)
# and so is starting a JACK server when one already runs (scripts/test starts one).
#   try_it.sh SOURCE_FOLDER BUILD_FOLDER
set -euo pipefail
source_dir=$1
build_dir=$2
if [[ "${SU_JACK_TESTS:-}" != 1 ]]; then
  # Where every test must run (SU_NO_SKIP=1, as scripts/test sets), this is a failure, not a skip.
  [[ "${SU_NO_SKIP:-}" == 1 ]] && { echo "no JACK server (SU_JACK_TESTS=1 not set)"; exit 1; }
  echo "no JACK server (SU_JACK_TESTS=1): skipped"
  exit 77
fi
work=$(mktemp -d)
# The keyboard the steps find is remembered in the check's own state folder, never the user's.
export XDG_STATE_HOME="$work/state"
cleanup() {
  local pid
  for pid in $(jobs -p); do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/build"
ln -s "$build_dir" "$work/build/native"
ln -s "$source_dir/tools" "$work/tools"
ln -s "$source_dir/scripts" "$work/scripts"
cd "$work"

steps=$(awk '/^To try it without a keyboard/ { found = 1 } found && /^```sh/ { inside = 1; next }
             inside && /^```/ { exit } inside { print }' "$source_dir/README.md")
[[ -n "$steps" ]] || { echo "no try-it steps in README.md"; exit 1; }
while IFS= read -r line; do
  step=$(sed -e 's/[[:space:]]#.*$//' -e 's/[[:space:]]*$//' <<<"$line")
  [[ -z "$step" ]] && continue
  case "$step" in
    cmake*) continue ;;
    jackd*) [[ "$(jack_wait -c 2>/dev/null)" == running ]] && continue ;;
  esac
  echo "+ $step"
  if [[ "$step" == *"&" ]]; then
    # A server or player in the background: wait until it is up (the player says "ready"), as a user
    # would before typing the next line, however slow the machine is at the moment.
    log="$work/background-$RANDOM.log"
    eval "${step%&} >\"\$log\" 2>&1 &"
    for _ in $(seq 1 100); do
      if [[ "$step" == *keyboard_player* ]]; then grep -q '^ready' "$log" && break
      else [[ "$(jack_wait -c 2>/dev/null)" == running ]] && break; fi
      sleep 0.1
    done
    cat "$log"
  else
    eval "$step" </dev/null
  fi
done <<<"$steps"
echo "the try-it steps passed"
