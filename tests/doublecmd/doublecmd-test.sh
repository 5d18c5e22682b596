#!/usr/bin/env bash
# Double Commander driven as a user drives it, under its own Xvfb, with a
# fresh configuration that registers the plug-in:
#
#   doublecmd-test.sh [--doublecmd PROGRAM] [--plugin pagelet.wlx --cat pagelet-cat] [--settings INI]
#                     --sample DOC --other DOC [--big DOC]
#
# --doublecmd: the file manager to drive (default: the installed GTK build;
# tests/doublecmd/doublecmd-qt-test.sh gives the Qt build); --platform NAME
# checks that its log names that toolkit (gtk2, qt5).
# --settings puts INI in the configuration folder as Pagelet.ini (beside the
# host's wlx.ini, where the plug-in reads its settings).
#
# Without --plugin it drives Double Commander's own viewer (the key and window
# flow alone). With it: F3 shows the reading layout, the Linux plug-in's
# default, as pagelet-cat --reading prints it (Ctrl+A, Ctrl+C in the
# host, read back from the clipboard); n shows the next document; F7 finds a
# word and selects it; Esc closes the viewer with the host alive; a document
# with a Cyrillic name; big.doc opens and the host answers Esc while the rest
# loads; an unreadable document opens without a box (Quick View, F3: the
# reason in the viewer); Alt+X quits cleanly. Every wait polls with a time limit.
set -uo pipefail

plugin="" cat="" sample="" other="" big="" settings="" dc_binary=doublecmd platform=
while [ $# -gt 0 ]; do
  case "$1" in
    --doublecmd) dc_binary=$2; shift 2 ;;
    --platform) platform=$2; shift 2 ;;
    --plugin) plugin=$(realpath "$2"); shift 2 ;;
    --cat) cat=$(realpath "$2"); shift 2 ;;
    --sample) sample=$(realpath "$2"); shift 2 ;;
    --other) other=$(realpath "$2"); shift 2 ;;
    --big) big=$(realpath "$2"); shift 2 ;;
    --settings) settings=$(realpath "$2"); shift 2 ;;
    *) echo "doublecmd-test: unknown argument $1" >&2; exit 2 ;;
  esac
done
[ -n "$sample" ] && [ -n "$other" ] || { echo "doublecmd-test: --sample and --other are needed" >&2; exit 2; }
for tool in "$dc_binary" xdotool xclip; do
  command -v "$tool" >/dev/null || { echo "doublecmd-test: $tool is missing (scripts/install-deps.sh)"; exit 77; }
done

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck source=../../scripts/doublecmd-driver.sh
source "$root/scripts/doublecmd-driver.sh"
dc_begin "$plugin"
[ -n "$settings" ] && cp "$settings" "$(dirname "$(dc_config)")/Pagelet.ini"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); shot "fail-$failures"; }
pass() { echo "ok: $*"; }
shot() { [ -n "${PAGELET_DC_SHOTS:-}" ] && import -window root "$PAGELET_DC_SHOTS/$1.png" 2>/dev/null; true; }

# The documents, in a known order (".." first).
cp "$sample" "$files/1-sample.doc"
cp "$other" "$files/2-other.doc"
cp "$sample" "$files/3-Ünïcødé-жук.doc"
[ -n "$big" ] && ln -s "$big" "$files/4-big.doc"
# Not a Word document (nor text, which is shown), under a name the plug-in takes.
printf 'binary\000\001\002, not a Word document' > "$files/5-unreadable.doc"
unreadable_at=$([ -n "$big" ] && echo 5 || echo 4)

# The text as the clipboard should carry it: no CR, no NUL or U+FFFD, no
# trailing blanks, no empty lines at the end.
normal() { tr -d '\r' | sed -e 's/\xEF\xBF\xBD//g' -e 's/[[:space:]]*$//' | tr -d '\000' | sed -e :a -e '/^\n*$/{$d;N;ba' -e '}'; }
expected() { "$cat" --reading "$1" 2>/dev/null | normal; }
clip_is() { [ "$(dc_copy_all | normal)" = "$1" ]; }
open_viewer() { dc_open_viewer "$@" || { fail "no viewer window for $2"; return 1; }; }
close_viewer() {
  if dc_close_viewer "$1"; then pass "Esc closes the viewer of $1, the host runs on"; else fail "Esc did not close the viewer of $1"; fi
}

dc_start
if [ -n "$platform" ]; then
  if poll 10 grep -q "^Platform: .*-$platform\$" "$dc_scratch/doublecmd.log"; then pass "the file manager runs $platform"
  else fail "the file manager's log names no $platform platform: $(grep '^Platform' "$dc_scratch/doublecmd.log")"; fi
fi

# 1. F3 on the sample.
if open_viewer 1 "1-sample.doc"; then
  shot viewer-sample
  if [ -n "$plugin" ]; then
    # The keyboard focus is in the text from the start: Down and Shift+End
    # select the second line (as far as it is wrapped), which Ctrl+C copies.
    echo -n | xclip -selection clipboard >/dev/null 2>&1
    xdotool key Down shift+End ctrl+c
    want=$(expected "$sample" | sed -n 2p)
    got=$(clipboard | normal)
    if [ -n "$got" ] && [ "${want#"$got"}" != "$want" ]; then pass "the keys move in the text at once (Down, Shift+End)"; else fail "Down, Shift+End, Ctrl+C copied \"$got\""; fi
    want=$(expected "$sample")
    if poll 20 clip_is "$want"; then pass "F3 shows the reading layout (Ctrl+A, Ctrl+C)"
    else fail "the clipboard does not hold the sample's text"; diff <(echo "$want") <(dc_copy_all | normal) | head -20; fi
  else
    if [ -n "$(dc_copy_all)" ]; then pass "Ctrl+A, Ctrl+C in the own viewer"; else fail "nothing copied in the own viewer"; fi
  fi

  # 2. F7 finds a word and selects it.
  word=Pagelet
  xdotool key F7
  if poll 20 has_window '^Find$'; then
    find=$(window_named '^Find$')
    xdotool windowfocus --sync "$find"
    xdotool type --delay 20 "$word"
    xdotool key Return
    poll 10 no_window '^Find$'
    xdotool windowfocus --sync "$viewer" 2>/dev/null
    echo -n | xclip -selection clipboard >/dev/null 2>&1
    xdotool key ctrl+c
    got=$(clipboard)
    if [ "${got,,}" = "${word,,}" ] && { [ -z "$plugin" ] || [ "$got" = "$word" ]; }; then pass "F7 finds \"$word\" and selects it"; else fail "F7: the selection is \"$got\", not \"$word\""; fi
  else
    fail "F7 showed no find box"
  fi

  # 3. n: the next document in the same viewer.
  xdotool windowfocus --sync "$viewer" 2>/dev/null
  xdotool key n
  if poll 20 has_window '2-other.doc$'; then
    if [ -n "$plugin" ]; then
      want=$(expected "$other")
      if poll 20 clip_is "$want"; then pass "n shows the next document's text"; else fail "n: the clipboard does not hold the next document's text"; fi
    else
      pass "n goes to the next document"
    fi
  else
    fail "n did not go to the next document"
  fi
  close_viewer "2-other.doc"
fi

# 4. A Cyrillic file name.
if open_viewer 3 "Ünïcødé-жук.doc"; then
  if [ -n "$plugin" ]; then
    want=$(expected "$sample")
    if poll 20 clip_is "$want"; then pass "a document with a Cyrillic name shows its text"; else fail "the Cyrillic-named document's text is not shown"; fi
  fi
  close_viewer "Ünïcødé-жук.doc"
fi

# 5. Quick View (Ctrl+Q) from the sample down over every document to an
# unreadable one: no box, the host alive; F3 there shows the reason in the viewer.
if [ -n "$plugin" ]; then
  dc_focus_list
  xdotool windowfocus --sync "$dc_main"
  xdotool key Home Down ctrl+q
  sleep 1
  for ((i = 1; i < unreadable_at; i++)); do xdotool key Down; sleep 0.7; done
  sleep 2
  shot quick-view-unreadable
  if has_window '^Pagelet - document reader$'; then fail "Quick View over an unreadable document showed a box"
  elif dc_alive; then pass "Quick View passes over the documents and an unreadable one without a box"
  else fail "Double Commander ended in Quick View"; fi
  xdotool windowfocus --sync "$dc_main" 2>/dev/null
  xdotool key ctrl+q
  sleep 1
  if open_viewer "$unreadable_at" "5-unreadable.doc"; then
    if poll 20 clip_is "This file cannot be shown: not a Word document"; then pass "F3 on an unreadable document shows why in the viewer"
    else fail "the unreadable document's viewer holds \"$(dc_copy_all | normal)\""; fi
    if has_window '^Pagelet - document reader$'; then fail "F3 on an unreadable document showed a box"; fi
    close_viewer "5-unreadable.doc"
  fi
fi

# 6. big.doc opens at once; the host answers Esc while the rest loads.
if [ -n "$big" ] && open_viewer 4 "4-big.doc"; then
  shot viewer-big
  close_viewer "4-big.doc"
fi

# 7. Alt+X quits cleanly.
if dc_quit; then pass "Alt+X quits (exit status 0)"; else fail "Alt+X did not end Double Commander cleanly"; fi

if [ -n "$plugin" ] && ! grep -q "$plugin" "$(dc_config)"; then
  fail "the saved configuration lost the plug-in's entry"
fi
if [ "$failures" -ne 0 ]; then
  echo "doublecmd-test: $failures failure(s); Double Commander's log:"; tail -30 "$dc_scratch/doublecmd.log"
  exit 1
fi
echo "doublecmd-test: all passed"
