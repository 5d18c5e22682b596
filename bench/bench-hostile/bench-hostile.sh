#!/usr/bin/env bash
# Hostile documents through pagelet-cat (default settings), one process each:
# wall time, peak memory (max RSS) and output per stored input byte, as a
# Markdown table. Figures, not a pass/fail test.
#
#   bench/bench-hostile/bench-hostile.sh [--cat PATH/TO/pagelet-cat] [--keep DIR] [SHAPE...]
#
# Each shape is an executable in bench/bench-hostile/shapes/ called as
# `SHAPE OUTDIR`: it writes one or more documents into OUTDIR (a file may be
# sparse: "stored" counts the bytes on disk, "apparent" its size). A new
# shape is a new executable there. Without SHAPE arguments every shape runs.
# Without --cat it uses build/native (built when missing).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
cat_bin=""
keep=""
shapes=()
while [ $# -gt 0 ]; do
  case "$1" in
    --cat) cat_bin=$2; shift 2 ;;
    --keep) keep=$2; shift 2 ;;
    -h|--help) sed -n '2,12p' "$0"; exit 0 ;;
    *) shapes+=("$1"); shift ;;
  esac
done
if [ ${#shapes[@]} -eq 0 ]; then
  for s in "$here"/shapes/*; do [ -x "$s" ] && shapes+=("$(basename "$s")"); done
fi
if [ -z "$cat_bin" ]; then
  cat_bin="$root/build/native/tools/pagelet-cat/pagelet-cat"
  if [ ! -x "$cat_bin" ]; then
    cmake --preset native -S "$root" >/dev/null
    cmake --build "$root/build/native" --target pagelet-cat -j2 >/dev/null
  fi
fi
work=${keep:-$(mktemp -d)}
mkdir -p "$work"
[ -n "$keep" ] || trap 'rm -rf "$work"' EXIT

echo "| document | stored | apparent | exit | time (s) | peak RSS (MB) | output (bytes) | output per stored byte |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|"
for shape in "${shapes[@]}"; do
  dir="$work/$shape"
  mkdir -p "$dir"
  "$here/shapes/$shape" "$dir"
  for doc in "$dir"/*; do
    [ -f "$doc" ] || continue
    stored=$(( $(stat -c %b "$doc") * $(stat -c %B "$doc") ))
    apparent=$(stat -c %s "$doc")
    set +e
    /usr/bin/time -f "%e %M" -o "$work/time.txt" "$cat_bin" "$doc" > "$work/out.txt" 2>/dev/null
    rc=$?
    set -e
    read -r secs rss_kb < <(tail -1 "$work/time.txt")
    out=$(stat -c %s "$work/out.txt")
    awk -v n="$(basename "$doc")" -v s="$stored" -v a="$apparent" -v rc="$rc" -v t="$secs" -v m="$rss_kb" -v o="$out" \
      'BEGIN { printf "| %s | %.1f MB | %.1f MB | %d | %.2f | %.1f | %d | %.3f |\n", n, s/1048576, a/1048576, rc, t, m/1024, o, o/(s>0?s:1) }'
  done
done
