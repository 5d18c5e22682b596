#!/usr/bin/env bash
# Time, peak memory (max RSS) and output per stored byte of pagelet-cat on
# documents built to cost a reader as much as they can for their size (the
# shapes of tests/support/HostileDocs.h, written by make-hostile-docs, and
# those that each program in shapes/ writes into the folder it is given:
# compound files that lie about their tables), with the reading layout
# (--reading) and the plain text (--raw). With --before, a second pagelet-cat
# (an older build) is measured beside it. Each run is cut off after --limit
# seconds. A Markdown table; figures, not a pass/fail test.
#
#   bench/bench-hostile/bench-hostile.sh [--before PATH/TO/pagelet-cat] [--limit S] [--extra FILE...]
#
# --extra adds files of other shapes (a damaged compound file, say).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
before=""
limit=60
extra=()
while [ $# -gt 0 ]; do
  case "$1" in
    --before) before=$2; shift 2 ;;
    --limit) limit=$2; shift 2 ;;
    --extra) shift; while [ $# -gt 0 ]; do extra+=("$1"); shift; done ;;
    -h|--help) sed -n '2,12p' "$0"; exit 0 ;;
    *) echo "bench-hostile: unknown option $1" >&2; exit 2 ;;
  esac
done
build=$root/build/native
cmake --preset native -S "$root" >/dev/null
cmake --build "$build" --target pagelet-cat make-hostile-docs -j"$(nproc)" >/dev/null
cat_bin=$build/tools/pagelet-cat/pagelet-cat
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/bench-hostile/make-hostile-docs" "$work/docs"
for shape in "$root"/bench/bench-hostile/shapes/*; do
  [ -x "$shape" ] && "$shape" "$work/docs"
done

# One run: seconds, peak MiB, output bytes per input byte, or "> limit".
measure() {
  local bin=$1 mode=$2 file=$3
  local args=()
  if [ "$mode" = reading ]; then
    args=(--reading)
  elif "$bin" --help 2>/dev/null | grep -q -- --raw; then
    args=(--raw)  # an older build without --raw prints the plain text by default
  fi
  local size
  size=$(du -B1 "$file" | cut -f1)  # what the file stores: a sparse one's holes cost nothing
  if /usr/bin/time -f '%e %M' -o "$work/time" timeout "$limit" "$bin" "${args[@]}" "$file" >"$work/out" 2>/dev/null ||
     [ "$(tail -1 "$work/time" | wc -w)" = 2 ]; then
    read -r secs kib < <(tail -1 "$work/time")
    local out
    out=$(stat -c %s "$work/out")
    printf '%s s | %s MiB | %s' "$secs" "$((kib / 1024))" "$(awk -v o="$out" -v i="$size" 'BEGIN { printf "%.2f", o / i }')"
  else
    printf '> %s s | - | -' "$limit"
  fi
}

header="| shape | file (stored / apparent) | mode | time | peak | out/in |"
rule="|---|---:|---|---:|---:|---:|"
if [ -n "$before" ]; then
  header="| shape | file (stored / apparent) | mode | time before | peak before | out/in before | time | peak | out/in |"
  rule="|---|---:|---|---:|---:|---:|---:|---:|---:|"
fi
echo "$header"
echo "$rule"
for file in "$work"/docs/*.doc "${extra[@]}"; do
  stored=$(du -B1 "$file" | cut -f1)
  size=$(stat -c %s "$file")
  for mode in reading raw; do
    row="| $(basename "$file" .doc) | $((stored / 1024)) KB / $((size / 1024)) KB | $mode"
    [ -n "$before" ] && row="$row | $(measure "$before" "$mode" "$file")"
    echo "$row | $(measure "$cat_bin" "$mode" "$file") |"
  done
done
