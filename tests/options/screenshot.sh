#!/usr/bin/env bash
# Takes a picture of the options dialog open over a viewer of the sample
# document, under its own Xvfb:
#   tests/options/screenshot.sh BUILD_DIR OUT.png [DPI]
# BUILD_DIR: a win32 or win64 build; DPI: the screen's (LogPixels), 96 unless
# given. There is no window manager, so a separate Wine prefix of the build
# tree is set to draw window frames and captions itself.
set -eu
build=$(cd "$1" && pwd)
out=$(realpath -m "$2")
dpi=${3:-96}
exe=$build/tests/options/options_dialog_test.exe
[ -f "$exe" ] || { echo "no $exe: build the target options_dialog_test first" >&2; exit 1; }

# The project's Wine runner: the loader that runs here, Wine's own fonts.
wine_run=$(cd "$(dirname "$0")/../.." && pwd)/cmake/wine-run.sh
export PAGELET_WINEPREFIX=$build/screenshot-wineprefix
export WINEPREFIX=$PAGELET_WINEPREFIX

n=90
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
marker=$(mktemp -u /tmp/pagelet-options-shot.XXXXXX)
cleanup() { rm -f "$marker"; kill "$xvfb" 2>/dev/null || true; }
trap cleanup EXIT
export DISPLAY=":$n"
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done

"$wine_run" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
"$wine_run" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
wineserver -w

PAGELET_SCREENSHOT_MARKER="Z:$marker" "$wine_run" "$exe" --gtest_also_run_disabled_tests \
  --gtest_filter='*DISABLED_HoldOpenForScreenshot*' >/dev/null 2>&1 &
test=$!
for _ in $(seq 600); do [ -f "$marker" ] && break; sleep 0.1; done
[ -f "$marker" ] || { echo "the dialog did not open" >&2; exit 1; }
sleep 1
mkdir -p "$(dirname "$out")"
import -window root "$out"
rm -f "$marker"
wait "$test"
echo "wrote $out"
