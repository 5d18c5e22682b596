#!/usr/bin/env bash
# Runs one libFuzzer target.
#   run-target.sh BINARY WORKDIR SECONDS   fuzz for SECONDS with a fresh working
#                                          corpus in WORKDIR, seeded from
#                                          $PAGELET_CORPUS_DIR/docs, fuzz/seeds
#                                          and the regression files
#   run-target.sh BINARY replay            run each regression file in
#                                          fuzz/regress once, each with a
#                                          time limit; fails when there are none
# Exits non-zero when the target crashes, leaks, hangs or runs out of memory;
# the input that did it is left in WORKDIR.
set -euo pipefail
bin=$1
source_dir=${PAGELET_SOURCE_DIR:-$(cd "$(dirname "$0")/.." && pwd)}
regress=$source_dir/fuzz/regress
# A slow or greedy input is a finding: a few seconds and 1 GB at most each.
common=(-rss_limit_mb=1024 -timeout=5 -max_len=262144)

if [ "$2" = replay ]; then
  inputs=()
  if [ -d "$regress" ]; then
    while IFS= read -r f; do inputs+=("$f"); done < <(find "$regress" -maxdepth 1 -type f ! -name '*.md' | sort)
  fi
  if [ ${#inputs[@]} -eq 0 ]; then echo "no regression files in $regress" >&2; exit 1; fi
  echo "replaying ${#inputs[@]} regression files from $regress"
  exec "$bin" "${common[@]}" "${inputs[@]}"
fi

work=$2
seconds=$3
rm -rf "$work"
mkdir -p "$work/corpus" "$work/seeds"
corpus=${PAGELET_CORPUS_DIR:-$source_dir/../shared/corpus}
if [ -d "$corpus/docs" ]; then
  cp "$corpus"/docs/* "$work/seeds/"
else
  echo "no seed documents in $corpus/docs: starting from the regression files only"
fi
# Small documents of our own in the shapes the corpus lacks (version 4,
# DIFAT, mini stream, Word 6, formatted documents for the reading layout).
cp "$source_dir"/fuzz/seeds/* "$work/seeds/"
if [ -d "$regress" ]; then
  find "$regress" -maxdepth 1 -type f ! -name '*.md' -exec cp {} "$work/seeds/" \;
fi
chmod -R u+w "$work/seeds"
cd "$work"
echo "fuzzing $(basename "$bin") for ${seconds}s in $work"
"$bin" "${common[@]}" -max_total_time="$seconds" -print_final_stats=1 \
  -artifact_prefix="$work/" corpus seeds
