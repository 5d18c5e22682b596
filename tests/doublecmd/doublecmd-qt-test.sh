#!/usr/bin/env bash
# doublecmd-test.sh against Double Commander's Qt 5 build, made runnable in
# BUILD/doublecmd-qt beside the installed GTK build by prepare-doublecmd-qt.sh
# (which downloads the package: skipped, exit 77, with the reason, where that
# cannot be done). The same pagelet.wlx as the GTK build's test.
#
#   doublecmd-qt-test.sh BUILD [doublecmd-test.sh's arguments]
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=$1
shift
binary=$(bash "$here/prepare-doublecmd-qt.sh" "$build/doublecmd-qt")
status=$?
if [ "$status" -ne 0 ]; then
  echo "doublecmd-qt-test: skipped: Double Commander's Qt build is not available here"
  exit "$status"
fi
echo "doublecmd-qt-test: $binary"
exec bash "$here/doublecmd-test.sh" --doublecmd "$binary" --platform qt5 "$@"
