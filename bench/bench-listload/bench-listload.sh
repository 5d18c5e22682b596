#!/usr/bin/env bash
# The viewer's load of documents under Wine, as the host sees it, against a
# bare RICHEDIT20W given the whole text by one WM_SETTEXT. For each document:
# the time until the first text is painted, the longest the host's thread
# was blocked after that (a 10 ms timer's longest gap), the time until the
# whole text is in the control, and the bare control's time. The bare
# control runs in a process of its own: in a 32-bit process a large text
# can take it down. Figures, not a pass/fail test.
#
#   bench/bench-listload/bench-listload.sh [--preset win32|win64] [--runs N] [--shapes] [--no-bare] [--close-at-once] [DOCUMENT...]
#
# Builds the preset's plug-in and the bench program in build/<preset> when
# missing. Without documents: ../shared/corpus/big/mid.doc and big.doc.
# --shapes adds the control's hardest shapes, written for the run: 65,536
# and 262,144 paragraph marks, and 65,536 BEL characters (one line).
# --no-bare leaves out the bare control (minutes for big.doc).
# --close-at-once closes each viewer as soon as ListLoad returns, while the
# document may still be loading, and gives ListLoad's and the close's times.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
preset=win32
runs=3
shapes=0
bare=1
closeAtOnce=0
docs=()
while [ $# -gt 0 ]; do
  case "$1" in
    --preset) preset=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --build-dir) build=$2; shift 2 ;;
    --shapes) shapes=1; shift ;;
    --no-bare) bare=0; shift ;;
    --close-at-once) closeAtOnce=1; shift ;;
    -h|--help) sed -n '2,19p' "$0"; exit 0 ;;
    *) docs+=("$1"); shift ;;
  esac
done
build=${build:-$root/build/$preset}
[ ${#docs[@]} -gt 0 ] || [ "$shapes" = 1 ] || docs=("$root/../shared/corpus/big/mid.doc" "$root/../shared/corpus/big/big.doc")
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake --preset "$preset" -S "$root" -B "$build" >/dev/null || exit 1
fi
cmake --build "$build" --target bench-listload -j2 >/dev/null || exit 1
suffix=wlx; [ "$preset" = win64 ] && suffix=wlx64
exe="$build/bench/bench-listload/bench-listload.exe"
wlx="$build/src/plugin/pagelet.$suffix"
if [ "$shapes" = 1 ]; then
  shapeDir=$(mktemp -d)
  trap 'rm -rf "$shapeDir"' EXIT
  for shape in marks:65536 marks:262144 bel:65536; do
    out="$shapeDir/${shape%%:*}-${shape##*:}.doc"
    "$root/cmake/wine-run.sh" "$exe" shape "${shape%%:*}" "${shape##*:}" "Z:$out" || exit 1
    docs+=("$out")
  done
fi
value() { sed -n "s/^$1 //p" "$2" | tr -d '\r'; }
if [ "$closeAtOnce" = 1 ]; then
  echo "| build | document | ListLoad returns | ListCloseWindow returns |"
  echo "|---|---|---:|---:|"
  for doc in "${docs[@]}"; do
    [ -f "$doc" ] || { echo "bench-listload: no such file: $doc" >&2; continue; }
    out=$(mktemp)
    "$root/cmake/wine-run.sh" "$exe" close "Z:$(realpath "$wlx")" "Z:$(realpath "$doc")" "$runs" >"$out" 2>&2
    echo "| $preset | $(basename "$doc") | $(value listload_return_ms "$out") ms | $(value close_ms "$out") ms |"
    rm -f "$out"
  done
  exit 0
fi
echo "| build | document | ListLoad returns | first paint | longest block after it | whole text | bare control, one WM_SETTEXT | ratio |"
echo "|---|---|---:|---:|---:|---:|---:|---:|"
for doc in "${docs[@]}"; do
  [ -f "$doc" ] || { echo "bench-listload: no such file: $doc (the corpus is not here)" >&2; continue; }
  viewerOut=$(mktemp) bareOut=$(mktemp)
  "$root/cmake/wine-run.sh" "$exe" viewer "Z:$(realpath "$wlx")" "Z:$(realpath "$doc")" "$runs" >"$viewerOut" 2>&2
  [ "$bare" = 0 ] || "$root/cmake/wine-run.sh" "$exe" bare "Z:$(realpath "$doc")" "$runs" >"$bareOut" 2>&2
  bareMs=$(value bare_whole_text_ms "$bareOut")
  whole=$(value whole_text_ms "$viewerOut")
  ratio="-"
  if [ -n "$bareMs" ] && [ -n "$whole" ]; then ratio=$(awk -v a="$whole" -v b="$bareMs" 'BEGIN { printf "%.2f", a / b }'); fi
  bareText="${bareMs:-failed} ms"; [ "$bare" = 0 ] && bareText="not run"
  echo "| $preset | $(basename "$doc") ($(value characters_shown "$viewerOut") chars shown) | $(value listload_return_ms "$viewerOut") ms | $(value first_paint_ms "$viewerOut") ms | $(value longest_block_ms "$viewerOut") ms | $whole ms | $bareText | $ratio |"
  rm -f "$viewerOut" "$bareOut"
done
