#!/usr/bin/env bash
# The install package as a user meets it: scripts/package.sh writes the zip,
# which is unpacked into a fresh folder; lister-host (32- and 64-bit) loads
# the plug-in from there and shows the project's sample document.
# Arguments: the source folder, the build folder of this preset.
set -euo pipefail
src=$1
build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
PAGELET_DIST_DIR="$work/dist" bash "$src/scripts/package.sh" windows >"$work/package.log" 2>&1 ||
  { cat "$work/package.log"; fail "scripts/package.sh"; }
zip="$work/dist/pagelet-$version.zip"
[ -f "$zip" ] || fail "no $zip"

# Everything at the top of the zip, nothing else.
listing=$(python3 -c 'import sys, zipfile; print("\n".join(sorted(zipfile.ZipFile(sys.argv[1]).namelist())))' "$zip")
expected=$(printf '%s\n' LICENSE.txt README.txt pagelet.wlx pagelet.wlx64 pluginst.inf)
[ "$listing" = "$expected" ] || fail "zip holds: $listing"

unpacked="$work/Pagelet plug-in"
mkdir -p "$unpacked"
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$unpacked"

inf=$(tr -d '\r' <"$unpacked/pluginst.inf")
for line in '[plugininstall]' 'type=wlx' 'file=pagelet.wlx' 'defaultdir=pagelet'; do
  grep -qxF "$line" <<<"$inf" || fail "pluginst.inf lacks $line"
done
grep -q '^description=Pagelet .*Word' <<<"$inf" || fail "pluginst.inf lacks a description"
grep -q 'Pagelet.ini' "$unpacked/README.txt" || fail "README.txt does not name Pagelet.ini"
grep -q 'config.ini' "$unpacked/README.txt" || fail "README.txt does not name config.ini"
grep -q 'MIT License' "$unpacked/LICENSE.txt" || fail "no licence"

# Each plug-in built for its width (the PE header's machine field).
machine() { python3 -c 'import struct, sys; d = open(sys.argv[1], "rb").read(); o = struct.unpack_from("<I", d, 0x3C)[0]; print(hex(struct.unpack_from("<H", d, o + 4)[0]))' "$1"; }
[ "$(machine "$unpacked/pagelet.wlx")" = 0x14c ] || fail "pagelet.wlx is not a 32-bit image"
[ "$(machine "$unpacked/pagelet.wlx64")" = 0x8664 ] || fail "pagelet.wlx64 is not a 64-bit image"

# Both plug-ins, each through the host of its width, from the unpacked folder
# (the 32-bit one where this machine runs 32-bit programs under Wine).
sample="Z:$src/samples/sample.doc"
for preset in win32 win64; do
  if [ "$preset" = win32 ] && ! wine --version >/dev/null 2>&1; then
    echo "win32: not run, this machine's Wine starts no 32-bit programs"
    continue
  fi
  host="$src/build/$preset/bin/lister-host.exe"
  [ -f "$host" ] || cmake --build "$src/build/$preset" -j2 --target lister-host >/dev/null
  plugin=pagelet.wlx
  [ "$preset" = win64 ] && plugin=pagelet.wlx64
  out=$("$src/cmake/wine-run.sh" "$host" --print-text --close --plugin "Z:$unpacked/$plugin" "$sample" 2>&1 | tr -d '\r') ||
    fail "$preset host: $out"
  grep -q '^Pagelet sample document$' <<<"$out" || fail "$preset host did not show the sample: $out"
  echo "$preset: $plugin from the package shows the sample"
done
echo "package test passed: $(basename "$zip")"
