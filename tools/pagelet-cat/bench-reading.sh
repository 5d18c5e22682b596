#!/usr/bin/env bash
# pagelet-cat --reading beside pagelet-cat --raw (the plain text) on the same
# files in one run: median wall time and CPU time (user + system) of N runs each, the
# two taken in turn so that both see the same machine, and the peak memory
# (GNU time's maximum resident set size). Figures, not a pass/fail test.
#
#   tools/pagelet-cat/bench-reading.sh [--runs N] [--cat PATH/TO/pagelet-cat] [FILE...]
#
# Without --cat it uses build/native; without files ../shared/corpus/big/big.doc.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
runs=9
cat_bin="$root/build/native/tools/pagelet-cat/pagelet-cat"
files=()
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --cat) cat_bin=$2; shift 2 ;;
    -h|--help) sed -n '2,9p' "$0"; exit 0 ;;
    *) files+=("$1"); shift ;;
  esac
done
[ ${#files[@]} -gt 0 ] || files=("$root/../shared/corpus/big/big.doc")
[ -x /usr/bin/time ] || { echo "bench-reading: needs GNU time (/usr/bin/time)" >&2; exit 1; }

exec python3 - "$runs" "$cat_bin" "${files[@]}" <<'PY'
import os, statistics, subprocess, sys, time

runs, cat_bin, files = int(sys.argv[1]), sys.argv[2], sys.argv[3:]
modes = [("--raw", ["--raw"]), ("--reading", ["--reading"])]

def run_once(argv):
    with open(os.devnull, "wb") as null:
        start = time.perf_counter()
        proc = subprocess.Popen(["/usr/bin/time", "-f", "%M", "--"] + argv, stdout=null, stderr=subprocess.PIPE)
        err = proc.stderr.read()
        _, _, usage = os.wait4(proc.pid, 0)
        return time.perf_counter() - start, int(err.decode().split()[-1]), usage.ru_utime + usage.ru_stime

print(f"Median of {runs} runs each after one warm-up run, plain and --reading in turn; "
      f"{os.cpu_count()} CPUs, load average {os.getloadavg()[0]:.1f} before the runs.")
print()
print("| file | output | wall time | CPU time | peak memory | peak / file size |")
print("|---|---|---:|---:|---:|---:|")
for f in files:
    size = os.path.getsize(f)
    samples = {name: ([], [], []) for name, _ in modes}
    for name, extra in modes:
        run_once([cat_bin] + extra + [f])
    for _ in range(runs):
        for name, extra in modes:
            wall, peak, cpu = run_once([cat_bin] + extra + [f])
            samples[name][0].append(wall)
            samples[name][1].append(peak)
            samples[name][2].append(cpu)
    medians = {}
    for name, _ in modes:
        walls, peaks, cpus = samples[name]
        medians[name] = statistics.median(walls)
        print(f"| {os.path.basename(f)} ({size / 1e6:.1f} MB) | {name} | {statistics.median(walls) * 1000:.0f} ms | "
              f"{statistics.median(cpus) * 1000:.0f} ms | {max(peaks) * 1024 / 1e6:.1f} MB | "
              f"{max(peaks) * 1024 / size:.2f} |")
    print(f"| | --reading / --raw | {medians['--reading'] / medians['--raw']:.2f} x | | | |")
PY
