#!/usr/bin/env bash
# Runs a Windows program under Wine with the build tree's private prefix.
# CTest uses it as the cross-compiling emulator. The prefix is the nearest
# "wineprefix" folder above the program (the build tree's), or PAGELET_WINEPREFIX.
# Without an X display, the program runs under its own Xvfb.
set -u
prog=$1
if [ -z "${PAGELET_WINEPREFIX:-}" ]; then
  dir=$(cd "$(dirname "$prog")" && pwd)
  while [ "$dir" != "/" ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  PAGELET_WINEPREFIX="$dir/wineprefix"
fi
export WINEPREFIX=$PAGELET_WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64
# Where the kernel runs no 32-bit Linux programs, the wine script's 32-bit
# loader cannot start: use the 64-bit loader itself (64-bit programs only).
wine=wine
if ! wine --version >/dev/null 2>&1 && [ -x /usr/lib/wine/wine64 ]; then
  wine=/usr/lib/wine/wine64
  export WINELOADER=$wine
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  # Serialise the first start: several tests may arrive at once.
  ( flock 9; [ -f "$WINEPREFIX/system.reg" ] || "$wine" wineboot -i >/dev/null 2>&1; wineserver -w ) 9>"$WINEPREFIX.lock"
fi
run() {
  if [ -z "${DISPLAY:-}" ]; then
    xvfb-run -a -s "-screen 0 1280x1024x24" "$wine" "$@"
  else
    "$wine" "$@"
  fi
}
start=$SECONDS
run "$@"
rc=$?
# A client that reaches the prefix's wineserver while it is shutting down dies
# at once ("wine client error ... Connection reset by peer"): start once more.
if [ "$rc" -ne 0 ] && [ $((SECONDS - start)) -lt 2 ]; then
  run "$@"
  rc=$?
fi
exit "$rc"
