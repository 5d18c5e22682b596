#!/usr/bin/env bash
# Installs every package that building and testing Pagelet needs on a Debian 12
# machine. Safe to run again: it does nothing when everything is present.
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64
  libgtest-dev googletest
  clang libclang-rt-14-dev
  wine wine32:i386 wine64 fonts-wine
  xvfb xauth imagemagick
  python3
  libgtk2.0-dev doublecmd-gtk xdotool xclip
  qtbase5-dev libqt5pas1
  zlib1g-dev libxml2-dev libz-mingw-w64-dev
)

missing=()
have_i386=0
dpkg --print-foreign-architectures | grep -qx i386 && have_i386=1
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ] && [ "$have_i386" -eq 1 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
if [ "$have_i386" -eq 0 ]; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
