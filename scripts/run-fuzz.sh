#!/usr/bin/env bash
# Builds the libFuzzer targets (preset fuzz) and runs each for a while.
#   scripts/run-fuzz.sh [SECONDS [BUILD_DIR]]   default 30 s each, build/fuzz
# The working corpora live in BUILD_DIR/fuzz-work; a crash leaves its input
# there and makes the script exit non-zero.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
build=${2:-build/fuzz}
case $build in /*) ;; *) build=$PWD/$build ;; esac
cmake --preset fuzz -B "$build" >/dev/null || exit 2
cmake --build "$build" -j2 --target fuzz_cfb fuzz_converter fuzz_reading fuzz_rtf fuzz_html fuzz_opc fuzz_wordxml || exit 2
status=0
for target in fuzz_cfb fuzz_converter fuzz_reading fuzz_rtf fuzz_html fuzz_opc fuzz_wordxml; do
  if ! PAGELET_SOURCE_DIR=$PWD bash fuzz/run-target.sh "$build/fuzz/$target" "$build/fuzz-work/$target" "$seconds"; then
    echo "=== $target found a crash: see $build/fuzz-work/$target" >&2
    status=1
  fi
done
exit $status
