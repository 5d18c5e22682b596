#!/usr/bin/env bash
# Writes the packages into dist/ (PAGELET_DIST_DIR writes them elsewhere):
#   pagelet-VERSION.zip                 both Windows plug-ins (CPack's ZIP
#                                       generator in the win64 build;
#                                       cmake/PageletPackage.cmake says what goes in)
#   pagelet-VERSION-linux-x86_64.tar.gz the Linux plug-in for Double Commander's
#                                       GTK and Qt builds (pagelet.wlx and its
#                                       two back-end modules), in a folder pagelet/
#
#   bash scripts/package.sh [windows|linux]    (default: both)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
dist=${PAGELET_DIST_DIR:-$root/dist}
which=${1:-all}
case "$which" in all|windows|linux) ;; *) echo "package: windows, linux or nothing" >&2; exit 2 ;; esac

mkdir -p "$dist"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ "$which" != linux ]; then
  for preset in win32 win64; do
    [ -f "build/$preset/CMakeCache.txt" ] || cmake --preset "$preset" >/dev/null
  done
  cmake --build --preset win32 -j2 --target pagelet_plugin
  cmake --build --preset win64 -j2 --target pagelet_plugin
  (cd build/win64 && cpack -G ZIP -B "$work" >/dev/null)
  zip=$(ls "$work"/pagelet-*.zip)
  mv -f "$zip" "$dist/"
  echo "$dist/$(basename "$zip")"
fi

if [ "$which" != windows ]; then
  [ -f build/native/CMakeCache.txt ] || cmake --preset native >/dev/null
  cmake --build --preset native -j2 --target pagelet_plugin
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' build/native/CMakeCache.txt)
  folder="$work/linux/pagelet"
  mkdir -p "$folder"
  for file in pagelet.wlx pagelet-gtk2.so pagelet-qt5.so; do
    [ -f "build/native/src/plugin/linux/$file" ] || { echo "package: no $file (is qtbase5-dev installed?)" >&2; exit 1; }
    cp "build/native/src/plugin/linux/$file" "$folder/"
    strip --strip-debug "$folder/$file"
  done
  sed "s/@PROJECT_VERSION@/$version/" packaging/README-linux.txt.in >"$folder/README.txt"
  cp LICENSE "$folder/LICENSE.txt"
  tarball="$dist/pagelet-$version-linux-x86_64.tar.gz"
  tar -C "$work/linux" --owner=0 --group=0 --numeric-owner -czf "$tarball" pagelet
  echo "$tarball"
fi
