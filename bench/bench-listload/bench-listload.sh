#!/usr/bin/env bash
# ListLoad of a document under Wine against the floor, a bare RICHEDIT20W
# given the same text by WM_SETTEXT; prints both medians and their ratio.
# Figures, not a pass/fail test.
#
#   bench/bench-listload/bench-listload.sh [--preset win32|win64] [--runs N] [DOCUMENT]
#
# Builds the preset's plug-in and the bench program in build/<preset> when
# missing. Without a document it measures ../shared/corpus/big/mid.doc.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
preset=win32
runs=5
doc=""
while [ $# -gt 0 ]; do
  case "$1" in
    --preset) preset=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --build-dir) build=$2; shift 2 ;;
    -h|--help) sed -n '2,9p' "$0"; exit 0 ;;
    *) doc=$1; shift ;;
  esac
done
build=${build:-$root/build/$preset}
doc=${doc:-$root/../shared/corpus/big/mid.doc}
[ -f "$doc" ] || { echo "bench-listload: no such file: $doc (the corpus is not here)" >&2; exit 1; }
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake --preset "$preset" -S "$root" -B "$build" >/dev/null
fi
cmake --build "$build" --target bench-listload -j2 >/dev/null
suffix=wlx; [ "$preset" = win64 ] && suffix=wlx64
exe="$build/bench/bench-listload/bench-listload.exe"
wlx="$build/src/plugin/pagelet.$suffix"
exec "$root/cmake/wine-run.sh" "$exe" "Z:$(realpath "$wlx")" "Z:$(realpath "$doc")" "$runs"
