#!/usr/bin/env bash
# pagelet-cat's time per MB on RTF: a large RTF file made of the wild
# corpus's RTF files (../shared/corpus/wild/*.rtf.doc), each a group of one
# document repeated until the file has the size asked for, written to a
# temporary directory (never into the tree). Prints the median wall and CPU
# time of N runs and the time per MB. Figures, not a pass/fail test.
#
#   tools/pagelet-cat/bench-rtf.sh [--mb SIZE] [--runs N] [--cat PATH/TO/pagelet-cat]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
mb=32
runs=5
cat_bin="$root/build/native/tools/pagelet-cat/pagelet-cat"
while [ $# -gt 0 ]; do
  case "$1" in
    --mb) mb=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --cat) cat_bin=$2; shift 2 ;;
    -h|--help) sed -n '2,8p' "$0"; exit 0 ;;
    *) echo "bench-rtf: unknown argument $1" >&2; exit 2 ;;
  esac
done
wild=${PAGELET_CORPUS_DIR:-$root/../shared/corpus}/wild
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

python3 - "$mb" "$runs" "$cat_bin" "$wild" "$tmp" <<'PY'
import glob, os, resource, statistics, subprocess, sys, time

mb, runs, cat_bin, wild, tmp = float(sys.argv[1]), int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5]
docs = [open(f, "rb").read() for f in sorted(glob.glob(os.path.join(wild, "*.rtf.doc")))]
if not docs:
    sys.exit(f"bench-rtf: no RTF files in {wild}")
# Each document as a group of the big one (its outer braces are the group's).
path = os.path.join(tmp, "big.rtf.doc")
with open(path, "wb") as out:
    out.write(b"{\\rtf1\\ansi\\ansicpg1252 ")
    size = 0
    while size < mb * 1e6:
        for d in docs:
            out.write(d)
            size += len(d)
    out.write(b"}")
size = os.path.getsize(path)

def run_once(args):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    with open(os.devnull, "wb") as null:
        subprocess.run([cat_bin] + args + [path], stdout=null, check=True)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return wall, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)

print(f"{os.path.basename(path)}: {size / 1e6:.1f} MB of {len(docs)} wild RTF files; median of {runs} runs "
      f"after a warm-up; {os.cpu_count()} CPUs, load average {os.getloadavg()[0]:.1f}")
print("| mode | wall time | CPU time | wall ms/MB | CPU ms/MB |")
print("|---|---:|---:|---:|---:|")
for mode in (["--reading"], ["--raw"]):
    run_once(mode)
    walls, cpus = zip(*(run_once(mode) for _ in range(runs)))
    w, c = statistics.median(walls), statistics.median(cpus)
    print(f"| {mode[0]} | {w * 1000:.0f} ms | {c * 1000:.0f} ms | {w * 1000 / (size / 1e6):.1f} | "
          f"{c * 1000 / (size / 1e6):.1f} |")
PY
