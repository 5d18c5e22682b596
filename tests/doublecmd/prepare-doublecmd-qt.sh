#!/usr/bin/env bash
# Makes Double Commander's Qt 5 build runnable beside the installed GTK build
# (the two Debian packages conflict): downloads doublecmd-qt of the installed
# version, unpacks it under FOLDER, and puts in FOLDER/doublecmd-qt a copy of
# its doublecmd and doublecmd.zdli, with every other entry of the installed
# /usr/lib/doublecmd linked (plugins/wlx: the Qt package's own). Started from
# there it finds the installed themes and languages.
#
#   prepare-doublecmd-qt.sh FOLDER     prints the path of the Qt doublecmd
#
# Exit status 77, with the reason, where that cannot be done here (no
# doublecmd-gtk installed, no libqt5pas1, the download fails).
set -euo pipefail
folder=$1
skip() { echo "prepare-doublecmd-qt: $*" >&2; exit 77; }

[ -d /usr/lib/doublecmd ] || skip "Double Commander's GTK build is not installed (scripts/install-deps.sh)"
# (no grep -q: its early exit would fail the pipe under pipefail)
ldconfig -p 2>/dev/null | grep libQt5Pas.so.1 >/dev/null || skip "libqt5pas1 is not installed (scripts/install-deps.sh)"
version=$(dpkg-query -W -f='${Version}' doublecmd-common 2>/dev/null || dpkg-query -W -f='${Version}' doublecmd-gtk)
binary="$folder/doublecmd-qt/doublecmd"
if [ -x "$binary" ] && [ "$(cat "$folder/version" 2>/dev/null)" = "$version" ]; then
  echo "$binary"
  exit 0
fi

rm -rf "$folder"
mkdir -p "$folder/download" "$folder/unpacked" "$folder/doublecmd-qt/plugins"
(cd "$folder/download" && apt-get download "doublecmd-qt=$version" >"$folder/download.log" 2>&1) ||
  skip "cannot download doublecmd-qt $version: $(tail -1 "$folder/download.log")"
dpkg-deb -x "$folder"/download/doublecmd-qt_*.deb "$folder/unpacked"
qt="$folder/unpacked/usr/lib/doublecmd"
[ -x "$qt/doublecmd" ] || skip "the doublecmd-qt package holds no usr/lib/doublecmd/doublecmd"

cp "$qt/doublecmd" "$qt/doublecmd.zdli" "$folder/doublecmd-qt/"
for entry in /usr/lib/doublecmd/*; do
  name=$(basename "$entry")
  case "$name" in doublecmd|doublecmd.zdli|plugins) ;; *) ln -s "$entry" "$folder/doublecmd-qt/$name" ;; esac
done
for entry in /usr/lib/doublecmd/plugins/*; do
  name=$(basename "$entry")
  [ "$name" = wlx ] || ln -s "$entry" "$folder/doublecmd-qt/plugins/$name"
done
ln -s "$qt/plugins/wlx" "$folder/doublecmd-qt/plugins/wlx"
echo "$version" >"$folder/version"
echo "$binary"
