#!/usr/bin/env bash
# Word recall and precision of pagelet-cat's reading layout (the default)
# and of its raw text (--raw) against an office suite's plain-text export of
# the same documents: for each ../shared/corpus/wild/expected/NAME.txt, the
# text of ../shared/corpus/docs/NAME.doc. Also the precision of the layout's
# main text (up to its first story heading): the export holds no notes,
# headers or footers. A Markdown table with means and medians; figures, not
# a pass/fail test.
#
#   bench/reading-recall/bench-reading-recall.sh [--cat PATH/TO/pagelet-cat] [--corpus DIR]
#
# Without --cat it uses build/native (built when missing).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
corpus=$root/../shared/corpus
cat_bin=""
while [ $# -gt 0 ]; do
  case "$1" in
    --cat) cat_bin=$2; shift 2 ;;
    --corpus) corpus=$2; shift 2 ;;
    -h|--help) sed -n '2,11p' "$0"; exit 0 ;;
    *) echo "bench-reading-recall: unknown option $1" >&2; exit 2 ;;
  esac
done
build=$root/build/native
[ -f "$build/CMakeCache.txt" ] || cmake --preset native -S "$root" >/dev/null
targets=(reading-recall)
[ -n "$cat_bin" ] || { targets+=(pagelet-cat); cat_bin=$build/tools/pagelet-cat/pagelet-cat; }
cmake --build "$build" --target "${targets[@]}" -j2 >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The system code page of an English locale, as the export's suite had.
export LC_ALL=C.UTF-8 LANG=en_US.UTF-8
args=()
for reference in "$corpus"/wild/expected/*.txt; do
  name=$(basename "$reference" .txt)
  doc=$corpus/docs/$name.doc
  [ -f "$doc" ] || { echo "bench-reading-recall: no $doc" >&2; continue; }
  "$cat_bin" "$doc" > "$work/$name.layout" || true
  "$cat_bin" --raw "$doc" > "$work/$name.raw" || true
  args+=("$name" "$reference" "$work/$name.layout" "$work/$name.raw")
done
[ ${#args[@]} -gt 0 ] || { echo "bench-reading-recall: no references in $corpus/wild/expected" >&2; exit 1; }
"$build/bench/reading-recall/reading-recall" "${args[@]}"
