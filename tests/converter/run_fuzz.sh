#!/bin/sh
# Builds the converter's reader fuzz target with clang (libFuzzer, address and undefined-behaviour
# sanitizers) into build/fuzz and runs it for the given number of seconds over our generated corpus.
# Usage: tests/converter/run_fuzz.sh <seconds>
set -eu
seconds="${1:?usage: run_fuzz.sh <seconds>}"
root="$(cd "$(dirname "$0")/../.." && pwd)"
out="$root/build/fuzz"
mkdir -p "$out/seeds" "$out/corpus"

clangxx="$(command -v clang++-14 || command -v clang++)"
python3 "$root/tests/converter/make_corpus.py" "$out/seeds"
"$clangxx" -std=c++17 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$root" "$root/tests/converter/fuzz_reader.cpp" "$root/converter/midi_file.cpp" \
  "$root/converter/song_image.cpp" -o "$out/converter_reader_fuzz"

# New inputs go to build/fuzz/corpus; crashes are written to build/fuzz as crash-* files.
cd "$out"
./converter_reader_fuzz -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 -print_final_stats=1 \
  corpus seeds
