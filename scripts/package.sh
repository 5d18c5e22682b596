#!/usr/bin/env bash
# Builds the plug-in for win32 and win64 and writes dist/pagelet-VERSION.zip
# (CPack's ZIP generator in the win64 build; cmake/PageletPackage.cmake says
# what goes in). PAGELET_DIST_DIR writes the zip elsewhere.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
dist=${PAGELET_DIST_DIR:-$root/dist}

for preset in win32 win64; do
  [ -f "build/$preset/CMakeCache.txt" ] || cmake --preset "$preset" >/dev/null
done
cmake --build --preset win32 -j2 --target pagelet_plugin
cmake --build --preset win64 -j2 --target pagelet_plugin

mkdir -p "$dist"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd build/win64 && cpack -G ZIP -B "$work" >/dev/null)
zip=$(ls "$work"/pagelet-*.zip)
mv -f "$zip" "$dist/"
echo "$dist/$(basename "$zip")"
