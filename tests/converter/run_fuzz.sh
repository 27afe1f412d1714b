#!/bin/sh
# Fuzzes the converter's readers alone; scripts/fuzz builds and runs every fuzz target.
# Usage: tests/converter/run_fuzz.sh <seconds>
set -eu
seconds="${1:?usage: run_fuzz.sh <seconds>}"
exec "$(cd "$(dirname "$0")/../.." && pwd)/scripts/fuzz" "$seconds" converter_reader
