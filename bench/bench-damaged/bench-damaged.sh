#!/usr/bin/env bash
# Damaged copies of the corpus documents through the built plug-in in the
# lister host under Wine, one host process each, as a user meets them: each
# document cut short at 10, 50 and 90 % of its size (an interrupted
# download). Prints how many copies ran, how many the plug-in showed and
# refused, and the slowest ones; a copy that has not ended after the time
# limit is killed and counted as hung. Figures, not a pass/fail test.
#
#   bench/bench-damaged/bench-damaged.sh [--preset win32|win64] [--limit SECONDS] [DOCUMENT...]
#
# Without documents: every document of ../shared/corpus/docs.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
preset=win64
limit=60
docs=()
while [ $# -gt 0 ]; do
  case "$1" in
    --preset) preset=$2; shift 2 ;;
    --limit) limit=$2; shift 2 ;;
    -h|--help) sed -n '2,11p' "$0"; exit 0 ;;
    *) docs+=("$1"); shift ;;
  esac
done
build=$root/build/$preset
[ ${#docs[@]} -gt 0 ] || docs=("$root"/../shared/corpus/docs/*)
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake --preset "$preset" -S "$root" -B "$build" >/dev/null || exit 1
fi
cmake --build "$build" --target lister-host pagelet_plugin -j2 >/dev/null || exit 1
host="$build/bin/lister-host.exe"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
times="$work/times.tsv"
count=0 shown=0 refused=0 hung=0
for doc in "${docs[@]}"; do
  [ -f "$doc" ] || continue
  size=$(stat -c %s "$doc")
  for percent in 10 50 90; do
    copy="$work/cut-$percent-$(basename "$doc")"
    head -c $((size * percent / 100)) "$doc" >"$copy"
    start=$(date +%s%N)
    timeout -k 5 "$limit" "$root/cmake/wine-run.sh" "$host" --close "Z:$copy" >"$work/out" 2>&1
    status=$?
    ms=$((($(date +%s%N) - start) / 1000000))
    count=$((count + 1))
    case $status in
      0) shown=$((shown + 1)) ;;
      124|137) hung=$((hung + 1)) ;;
      *) refused=$((refused + 1)) ;;
    esac
    printf '%s\t%s %% of %s\t%s\n' "$ms" "$percent" "$(basename "$doc")" "$status" >>"$times"
    rm -f "$copy"
  done
done
echo "$count copies: $shown shown, $refused refused, $hung hung (killed after ${limit} s)"
echo "slowest (ms, copy, host status):"
sort -rn "$times" | head -5
