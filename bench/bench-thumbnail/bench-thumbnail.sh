#!/usr/bin/env bash
# The time of one thumbnail (ListGetPreviewBitmapW, 256x256) of
# ../shared/corpus/big/big.doc and mid.doc under Wine, medians of N runs,
# beside the floor of reading the whole file. Figures, not a pass/fail test.
#
#   bench/bench-thumbnail/bench-thumbnail.sh [--preset win32|win64] [--runs N] [DOCUMENT...]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
preset=win64
runs=5
docs=()
while [ $# -gt 0 ]; do
  case "$1" in
    --preset) preset=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    -h|--help) sed -n '2,6p' "$0"; exit 0 ;;
    *) docs+=("$1"); shift ;;
  esac
done
[ ${#docs[@]} -gt 0 ] || docs=("$root/../shared/corpus/big/big.doc" "$root/../shared/corpus/big/mid.doc")
build=$root/build/$preset
[ -f "$build/CMakeCache.txt" ] || cmake --preset "$preset" >/dev/null
cmake --build "$build" --target bench-thumbnail -j2 >/dev/null
suffix=wlx; [ "$preset" = win64 ] && suffix=wlx64
args=()
for doc in "${docs[@]}"; do
  [ -f "$doc" ] || { echo "bench-thumbnail: no such file: $doc" >&2; exit 1; }
  args+=("Z:$(realpath "$doc")")
done
exec "$root/cmake/wine-run.sh" "$build/bench/bench-thumbnail/bench-thumbnail.exe" \
  "Z:$(realpath "$build/src/plugin/pagelet.$suffix")" 256 256 "$runs" "${args[@]}"
