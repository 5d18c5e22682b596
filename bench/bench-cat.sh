#!/usr/bin/env bash
# Wall time (median of several runs) and peak memory (max RSS) of pagelet-cat --raw
# on the large corpus documents, beside catdoc and antiword when they are
# installed, and the floor: reading the file once (cat FILE > /dev/null).
# Two tables: runs back to back, and runs after 2 s of idle each (as a user
# runs a tool now and then: the kernel's fresh pages and caches are cold
# then). Markdown tables. Figures, not a pass/fail test.
#
#   bench/bench-cat.sh [--runs N] [--cat PATH/TO/pagelet-cat] [FILE...]
#
# Without --cat it uses build/native (built when missing). Without files it
# measures ../shared/corpus/big/big.doc and mid.doc.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=7
cat_bin=""
files=()
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --cat) cat_bin=$2; shift 2 ;;
    -h|--help) sed -n '2,10p' "$0"; exit 0 ;;
    *) files+=("$1"); shift ;;
  esac
done
if [ ${#files[@]} -eq 0 ]; then
  big="$root/../shared/corpus/big"
  files=("$big/big.doc" "$big/mid.doc")
fi
for f in "${files[@]}"; do
  [ -f "$f" ] || { echo "bench-cat: no such file: $f (the corpus is not here)" >&2; exit 1; }
done
if [ -z "$cat_bin" ]; then
  cat_bin="$root/build/native/tools/pagelet-cat/pagelet-cat"
  if [ ! -x "$cat_bin" ]; then
    cmake --preset native -S "$root" >/dev/null
    cmake --build "$root/build/native" --target pagelet-cat -j"$(nproc)" >/dev/null
  fi
fi

exec python3 - "$runs" "$cat_bin" "${files[@]}" <<'PY'
import os, shutil, statistics, subprocess, sys, time

runs = int(sys.argv[1])
load = os.getloadavg()[0]
cat_bin = sys.argv[2]
files = sys.argv[3:]

tools = [("pagelet-cat", [cat_bin, "--raw"])]
for name in ("catdoc", "antiword"):
    path = shutil.which(name)
    if path:
        tools.append((name, [path]))
tools.append(("floor: cat FILE > /dev/null", [shutil.which("cat") or "/bin/cat"]))

# Peak memory: GNU time's maximum resident set size when /usr/bin/time is
# there. Otherwise wait4's ru_maxrss, which on Linux starts from the forking
# Python process's own size: that floor is measured and named.
gnu_time = "/usr/bin/time" if os.access("/usr/bin/time", os.X_OK) else None

def run_once(argv):
    """Wall seconds, max RSS in KiB and CPU seconds (user + system) of one run.
    CPU time comes from wait4, which counts the program under GNU time too."""
    with open(os.devnull, "wb") as null:
        wrapped = [gnu_time, "-f", "%M", "--"] + argv if gnu_time else argv
        start = time.perf_counter()
        proc = subprocess.Popen(wrapped, stdout=null, stderr=subprocess.PIPE if gnu_time else subprocess.DEVNULL)
        err = proc.stderr.read() if gnu_time else b""
        _, _, usage = os.wait4(proc.pid, 0)
        elapsed = time.perf_counter() - start
        peak = int(err.decode().strip().splitlines()[-1]) if gnu_time else usage.ru_maxrss
        return elapsed, peak, usage.ru_utime + usage.ru_stime

def measure(argv, idle):
    """Median wall seconds, the largest max RSS (KiB) and median CPU seconds;
    with idle, each run comes after 2 s of sleep."""
    times, peaks, cpus = [], [], []
    run_once(argv)  # warms the page cache
    for _ in range(runs):
        if idle:
            time.sleep(2)
        elapsed, peak, cpu = run_once(argv)
        times.append(elapsed)
        peaks.append(peak)
        cpus.append(cpu)
    return statistics.median(times), max(peaks), statistics.median(cpus)

def mb(kib):
    return kib * 1024 / 1e6

how = "GNU time's maximum resident set size" if gnu_time else (
    "wait4 max RSS, which includes the %.0f MB of the forking Python runner" % mb(run_once(["true"])[1]))
print(f"Median wall time and CPU time (user + system) of {runs} runs after one warm-up run; "
      f"peak memory: {how}. {os.cpu_count()} CPUs, load average {load:.1f} before the runs.")

for idle in (False, True):
    results = {}
    for name, argv in tools:
        for f in files:
            results[(name, f)] = measure(argv + [f], idle)

    header = "| tool |"
    rule = "|---|"
    for f in files:
        size = os.path.getsize(f) / 1e6
        base = os.path.basename(f)
        header += f" {base} ({size:.1f} MB): wall time | CPU time | peak memory |"
        rule += "---:|---:|---:|"
    print()
    print("After 2 s idle before each run:" if idle else "Back to back:")
    print()
    print(header)
    print(rule)
    for name, _ in tools:
        row = f"| {name} |"
        for f in files:
            t, peak, cpu = results[(name, f)]
            row += f" {t * 1000:.0f} ms | {cpu * 1000:.0f} ms | {mb(peak):.1f} MB |"
        print(row)
    print()
    for f in files:
        base = os.path.basename(f)
        ours, our_peak, _ = results[("pagelet-cat", f)]
        line = f"- {base}: pagelet-cat's peak memory is {our_peak * 1024 / os.path.getsize(f):.2f} x the file's size"
        for other in ("catdoc", "antiword"):
            if (other, f) in results:
                line += f"; it is {results[(other, f)][0] / ours:.1f} x as fast as {other}"
        print(line + ".")
PY
