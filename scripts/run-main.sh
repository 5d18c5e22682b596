#!/usr/bin/env bash
# The main job: builds the plug-in (32-bit by default) and the lister host, opens the
# project's sample document in the host under Wine exactly as a file manager's
# lister would, prints the text the viewer shows and saves a screenshot of the
# lister window. Without an X display it runs under its own Xvfb.
#
#   bash scripts/run-main.sh [DOCUMENT]      (default: samples/sample.doc)
#   bash scripts/run-main.sh --doublecmd [DOCUMENT]
#   bash scripts/run-main.sh --doublecmd-qt [DOCUMENT]
#
# With --doublecmd it builds the Linux plug-in instead and opens the document
# in the real Double Commander (GTK build) under its own Xvfb, with a fresh
# configuration that registers the plug-in: F3, the text printed (Ctrl+A,
# Ctrl+C, read back from the clipboard) and a screenshot saved as
# build/main-job-doublecmd.png. --doublecmd-qt does the same in Double
# Commander's Qt 5 build, which it first downloads and unpacks into
# build/native/doublecmd-qt (tests/doublecmd/prepare-doublecmd-qt.sh), with
# the same pagelet.wlx, saving build/main-job-doublecmd-qt.png.
#
# PAGELET_MAIN_PRESET selects the preset (default win32; win64 on a machine
# that runs no 32-bit programs, where 32-bit Wine cannot start) and
# PAGELET_MAIN_BUILD another build folder (default build/<preset>); the
# screenshot goes beside it as main-job.png.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

doublecmd=0 qt=0
if [ "${1:-}" = "--doublecmd" ]; then
  doublecmd=1
  shift
elif [ "${1:-}" = "--doublecmd-qt" ]; then
  doublecmd=1 qt=1
  shift
fi
document=${1:-samples/sample.doc}
if [ ! -f "$document" ]; then
  echo "run-main: no such document: $document" >&2
  exit 2
fi

bash scripts/install-deps.sh

if [ "$doublecmd" -eq 1 ]; then
  echo "== Building the Linux plug-in (preset native)"
  cmake --preset native >/dev/null
  cmake --build --preset native -j2 --target pagelet_plugin
  plugin="$root/build/native/src/plugin/linux/pagelet.wlx"
  screenshot="$root/build/main-job-doublecmd.png"
  if [ "$qt" -eq 1 ]; then
    echo "== Making Double Commander's Qt build runnable (build/native/doublecmd-qt)"
    dc_binary=$(bash tests/doublecmd/prepare-doublecmd-qt.sh "$root/build/native/doublecmd-qt") ||
      { echo "run-main: Double Commander's Qt build is not available here" >&2; exit 1; }
    screenshot="$root/build/main-job-doublecmd-qt.png"
  fi
  rm -f "$screenshot"
  # shellcheck source=doublecmd-driver.sh
  source scripts/doublecmd-driver.sh
  dc_begin "$plugin"
  name=$(basename "$document")
  cp "$document" "$files/$name"
  echo "== Opening $document in Double Commander$([ "$qt" -eq 1 ] && echo " (Qt build)") (F3)"
  dc_start
  dc_open_viewer 1 "$name" || { echo "run-main: Double Commander showed no viewer" >&2; exit 1; }
  xdotool windowsize --sync "$viewer" 1100 420 2>/dev/null
  sleep 1  # the first paint
  dc_copy_all | tr -d '\r'
  echo
  # The view as it opened: click the text, so that the selection goes.
  xdotool mousemove 300 200 click 1
  sleep 0.5
  import -window root -crop 1100x420+0+0 "$screenshot"
  dc_close_viewer "$name" || { echo "run-main: Esc did not close the viewer" >&2; exit 1; }
  dc_quit || { echo "run-main: Double Commander did not quit cleanly" >&2; exit 1; }
  echo "== Screenshot of Double Commander's viewer: $screenshot"
  exit 0
fi

preset=${PAGELET_MAIN_PRESET:-}
if [ -z "$preset" ]; then
  preset=win32
  if [ -x /usr/lib/wine/wine ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "run-main: this machine runs no 32-bit programs (32-bit Wine cannot start): using the 64-bit plug-in"
    preset=win64
  fi
fi
build=${PAGELET_MAIN_BUILD:-build/$preset}

echo "== Building the plug-in and the lister host (preset $preset, $build)"
cmake --preset "$preset" -B "$build" >/dev/null
cmake --build "$build" -j2 --target lister-host

# Wine sees the Unix root as drive Z:.
winpath() { local p; p=$(realpath -m "$1"); printf 'Z:%s' "${p//\//\\}"; }

screenshot="$(dirname "$build")/main-job.png"
rm -f "$screenshot"
echo "== Opening $document in the lister host under Wine"
status=0
# xvfb-run's teardown complains about the X connection of Wine's helper
# processes; that line is noise.
PAGELET_WINEPREFIX="$root/$build/wineprefix" \
  cmake/wine-run.sh "$build/bin/lister-host.exe" --wrap --print-text --screenshot "$(winpath "$screenshot")" \
  "$(winpath "$document")" 2> >(grep -v '^X connection to .* broken' >&2) || status=$?
wait

if [ "$status" -ne 0 ]; then
  echo "run-main: the lister host failed (exit status $status)" >&2
  exit "$status"
fi
echo "== Screenshot of the lister window: $(realpath "$screenshot")"
