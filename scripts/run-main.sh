#!/usr/bin/env bash
# The main job: builds the 32-bit plug-in and the lister host, opens the
# project's sample document in the host under Wine exactly as a file manager's
# lister would, prints the text the viewer shows and saves a screenshot of the
# lister window. Without an X display it runs under its own Xvfb.
#
#   bash scripts/run-main.sh [DOCUMENT]      (default: samples/sample.doc)
#
# PAGELET_MAIN_BUILD selects another build folder (default build/win32); the
# screenshot goes beside it as main-job.png.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

document=${1:-samples/sample.doc}
build=${PAGELET_MAIN_BUILD:-build/win32}
if [ ! -f "$document" ]; then
  echo "run-main: no such document: $document" >&2
  exit 2
fi

bash scripts/install-deps.sh

echo "== Building the plug-in and the lister host (preset win32, $build)"
cmake --preset win32 -B "$build" >/dev/null
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
