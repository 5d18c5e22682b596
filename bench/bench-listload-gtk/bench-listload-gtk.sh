#!/usr/bin/env bash
# The Linux plug-in's load of documents through lister-host-gtk, as Double
# Commander's GTK build sees it, against a bare GtkTextView given the whole
# text (pagelet-cat's) in one gtk_text_buffer_set_text, in the same 800x600
# window. For each document, medians of RUNS runs, each in a process of its
# own: the time ListLoadW takes, the time from its call to the first draw of
# the text view with text, the longest stall of the GTK main loop after that
# (the longest gap between ticks of a 10 ms high-priority timer, until the
# loop is idle again), the time until the view holds the whole text, the time
# until the loop is idle (the text view's layout done), and the process's
# peak memory (VmHWM). The bare view's stall is its set_text call. Figures,
# not a pass/fail test.
#
# --host qt: the same through lister-host-qt, as Double Commander's Qt 5 build
# sees it (the stall: the longest gap between ticks of a 10 ms QTimer), against
# a bare read-only QPlainTextEdit given the whole text in one setPlainText.
#
#   bench/bench-listload-gtk/bench-listload-gtk.sh [--host gtk|qt] [--runs N] [--wrap] [--no-bare] [--build-dir DIR] [DOCUMENT...]
#
# Builds lister-host-gtk and pagelet-cat in build/native when missing. Without
# documents: ../shared/corpus/big/mid.doc and big.doc. --wrap: word wrap on
# (display flag 1) for both. Runs itself under xvfb-run when there is no display.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
runs=3
wrap=()
wrapText=off
bare=1
docs=()
build=$root/build/native
hostName=gtk
args=("$@")
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --host) hostName=$2; shift 2 ;;
    --wrap) wrap=(--wrap); wrapText=on; shift ;;
    --no-bare) bare=0; shift ;;
    --build-dir) build=$2; shift 2 ;;
    -h|--help) sed -n '2,24p' "$0"; exit 0 ;;
    *) docs+=("$1"); shift ;;
  esac
done
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "${args[@]}"
fi
[ ${#docs[@]} -gt 0 ] || docs=("$root/../shared/corpus/big/mid.doc" "$root/../shared/corpus/big/big.doc")
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake --preset native -S "$root" -B "$build" >/dev/null || exit 1
fi
case "$hostName" in gtk|qt) ;; *) echo "bench-listload-gtk: --host gtk or qt" >&2; exit 2 ;; esac
cmake --build "$build" --target "lister-host-$hostName" pagelet-cat -j2 >/dev/null || exit 1
host="$build/bin/lister-host-$hostName"
cat="$build/tools/pagelet-cat/pagelet-cat"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The median of each figure over the runs of one command: "name value" lines.
medians() {
  local out="$1"; shift
  : >"$out"
  for ((i = 0; i < runs; i++)); do
    "$@" --figures --timeout 1200 >>"$out.all" 2>/dev/null || { echo "bench-listload-gtk: run failed: $*" >&2; return 1; }
  done
  local name
  for name in $(awk '$2 ~ /^[0-9.]+$/ { print $1 }' "$out.all" | sort -u); do
    awk -v k="$name" '$1 == k { print $2 }' "$out.all" | sort -g |
      awk -v k="$name" '{ a[NR] = $1 } END { print k, a[int((NR + 1) / 2)] }' >>"$out"
  done
}
value() { awk -v k="$1" '$1 == k { printf "%.0f", $2 }' "$2"; }
mib() { awk -v k="$1" '$1 == k { printf "%.0f", $2 / 1024 }' "$2"; }

echo "host: lister-host-$hostName"
echo "| document | wrap | ListLoadW returns | first draw | longest stall | whole text | loop idle | peak memory | bare: set_text (= its stall) | bare: first draw | bare: loop idle | bare: peak memory |"
echo "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
for doc in "${docs[@]}"; do
  [ -f "$doc" ] || { echo "bench-listload-gtk: no such file: $doc (the corpus is not here)" >&2; continue; }
  viewer="$work/viewer" plain="$work/bare"
  rm -f "$viewer.all" "$plain.all"
  medians "$viewer" "$host" "${wrap[@]}" --ini "$work/wlx.ini" "$(realpath "$doc")" || continue
  bareCells="not run | | |"
  if [ "$bare" = 1 ]; then
    "$cat" "$doc" >"$work/text.txt"
    if medians "$plain" "$host" "${wrap[@]}" --bare "$work/text.txt"; then
      bareCells="$(value listload_return_ms "$plain") ms | $(value first_draw_ms "$plain") ms | $(value settled_ms "$plain") ms | $(mib peak_memory_kb "$plain") MiB"
    else
      bareCells="failed | | |"
    fi
  fi
  echo "| $(basename "$doc") ($(value characters_shown "$viewer") chars) | $wrapText | $(value listload_return_ms "$viewer") ms | $(value first_draw_ms "$viewer") ms | $(value longest_stall_ms "$viewer") ms | $(value whole_text_ms "$viewer") ms | $(value settled_ms "$viewer") ms | $(mib peak_memory_kb "$viewer") MiB | $bareCells |"
done
