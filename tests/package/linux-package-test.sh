#!/usr/bin/env bash
# The Linux package as a user meets it: scripts/package.sh linux writes the
# tarball, which is unpacked into a fresh folder; its plug-in is checked from
# its ELF headers and then loaded from there by the real Double Commander.
# Arguments: the source folder, the build folder, pagelet-cat, the corpus.
set -euo pipefail
src=$1
build=$2
cat=$3
corpus=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
PAGELET_DIST_DIR="$work/dist" bash "$src/scripts/package.sh" linux >"$work/package.log" 2>&1 ||
  { cat "$work/package.log"; fail "scripts/package.sh linux"; }
tarball="$work/dist/pagelet-$version-linux-x86_64.tar.gz"
[ -f "$tarball" ] || fail "no $tarball"

listing=$(tar tzf "$tarball" | sort)
expected=$(printf '%s\n' pagelet/ pagelet/LICENSE.txt pagelet/README.txt pagelet/pagelet-gtk2.so pagelet/pagelet-qt5.so \
  pagelet/pagelet.wlx)
[ "$listing" = "$expected" ] || fail "the tarball holds: $listing"
mkdir -p "$work/unpacked"
tar -C "$work/unpacked" -xzf "$tarball"
plugin="$work/unpacked/pagelet/pagelet.wlx"

readme="$work/unpacked/pagelet/README.txt"
for words in 'doublecmd-gtk' 'doublecmd-qt' 'pagelet-gtk2.so' 'pagelet-qt5.so' '<WlxPlugin Enabled="True">' 'EXT="DOC" | EXT="DOT"' 'Plugins WLX' 'Pagelet.ini'; do
  grep -qF "$words" "$readme" || fail "README.txt does not say $words"
done
grep -q 'MIT License' "$work/unpacked/pagelet/LICENSE.txt" || fail "no licence"

# x86-64 shared objects: pagelet.wlx whose only symbols are the lister
# exports and which needs nothing beyond the C library (no toolkit); each
# module exports its table alone and needs only its own toolkit's libraries.
exports_of() { nm -D --defined-only "$1" | awk '{print $3}' | sort | tr '\n' ' '; }
check_needed() {  # file, then the patterns of the libraries it may need
  local file=$1 lib pattern ok
  shift
  while read -r lib; do
    ok=0
    for pattern in 'libc.so.*' 'libm.so.*' 'ld-linux-x86-64.so.*' "$@"; do
      # shellcheck disable=SC2053
      [[ $lib == $pattern ]] && ok=1
    done
    [ "$ok" = 1 ] || fail "$(basename "$file") needs $lib"
  done < <(readelf -d "$file" | sed -n 's/.*Shared library: \[\(.*\)\]/\1/p')
}
for file in "$plugin" "$work/unpacked/pagelet/pagelet-gtk2.so" "$work/unpacked/pagelet/pagelet-qt5.so"; do
  readelf -h "$file" | grep -q 'Type:.*DYN' || fail "$file is not a shared object"
  readelf -h "$file" | grep -q 'Machine:.*X86-64' || fail "$file is not an x86-64 object"
done
want="ListCloseWindow ListGetDetectString ListLoad ListLoadNext ListLoadNextW ListLoadW ListSearchTextW ListSendCommand ListSetDefaultParams "
[ "$(exports_of "$plugin")" = "$want" ] || fail "exports: $(exports_of "$plugin")"
check_needed "$plugin"
for module in pagelet-gtk2.so pagelet-qt5.so; do
  [ "$(exports_of "$work/unpacked/pagelet/$module")" = "PageletBackEnd " ] ||
    fail "$module exports: $(exports_of "$work/unpacked/pagelet/$module")"
done
check_needed "$work/unpacked/pagelet/pagelet-gtk2.so" 'libz.so.1' 'libxml2.so.2' 'libgtk-x11-2.0.so.*' 'libgdk-x11-2.0.so.*' 'libpango-1.0.so.*' \
  'libgobject-2.0.so.*' 'libglib-2.0.so.*' 'libgdk_pixbuf-2.0.so.*'
check_needed "$work/unpacked/pagelet/pagelet-qt5.so" 'libz.so.1' 'libxml2.so.2' 'libQt5Widgets.so.*' 'libQt5Gui.so.*' 'libQt5Core.so.*' \
  'libstdc++.so.*' 'libgcc_s.so.*'

# The unpacked plug-in in the real file manager, with settings carried over
# from Windows that ask for Microsoft Word: there is none on Linux, and the
# documents are read by the plug-in itself all the same (in the reading
# layout: the settings do not turn it off).
printf '[Options]\r\nMSWord=-1\r\n' >"$work/Pagelet.ini"
bash "$src/tests/doublecmd/doublecmd-test.sh" --plugin "$plugin" --cat "$cat" --settings "$work/Pagelet.ini" \
  --sample "$src/samples/sample.doc" --other "$corpus/docs/nwe-test01.doc" || fail "Double Commander with the unpacked plug-in"
echo "linux package test passed: $(basename "$tarball")"
