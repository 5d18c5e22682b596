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
# The machine field of a PE file's COFF header, in hex (014c: i386, 8664: x86-64).
pe_machine() {
  local offset
  offset=$(od -An -t u4 -j 60 -N 4 "$1" 2>/dev/null | tr -d ' ')
  [ -n "$offset" ] || return 0
  od -An -t x2 -j $((offset + 4)) -N 2 "$1" 2>/dev/null | tr -d ' '
}
# Where the kernel runs no 32-bit Linux programs, the wine script's 32-bit
# loader cannot start: use the 64-bit loader itself (64-bit programs only).
wine=wine
if ! wine --version >/dev/null 2>&1 && [ -x /usr/lib/wine/wine64 ]; then
  wine=/usr/lib/wine/wine64
  export WINELOADER=$wine
  # A 32-bit Windows program needs the 32-bit loader: on such a machine it
  # cannot run at all. Say so and report the test as skipped (CTest's
  # SKIP_RETURN_CODE), rather than as a failure of the program.
  if [ -f "$prog" ] && [ "$(pe_machine "$prog")" = 014c ]; then
    echo "SKIPPED: ${prog##*/} is a 32-bit Windows program, and this machine runs no 32-bit programs" \
         "(the kernel refuses 32-bit ELF executables, so 32-bit Wine cannot start)"
    exit 77
  fi
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  # Serialise the first start: several tests may arrive at once.
  ( flock 9; [ -f "$WINEPREFIX/system.reg" ] || "$wine" wineboot -i >/dev/null 2>&1; wineserver -w ) 9>"$WINEPREFIX.lock"
fi
# Wine's own fonts (package fonts-wine: Tahoma, Marlett...) are not found
# where the package puts them: the prefix's font folder links them.
for font in /usr/share/wine/fonts/*.ttf; do
  [ -e "$font" ] && [ -d "$WINEPREFIX/drive_c/windows/Fonts" ] || continue
  [ -e "$WINEPREFIX/drive_c/windows/Fonts/${font##*/}" ] || ln -sf "$font" "$WINEPREFIX/drive_c/windows/Fonts/"
done
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
