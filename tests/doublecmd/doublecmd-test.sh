#!/usr/bin/env bash
# Double Commander (GTK build) driven as a user drives it, under its own Xvfb,
# with a fresh configuration that registers the plug-in:
#
#   doublecmd-test.sh [--plugin pagelet.wlx --cat pagelet-cat] --sample DOC --other DOC [--big DOC]
#
# Without --plugin it drives Double Commander's own viewer (the key and window
# flow alone). With it: F3 shows the converter's text (Ctrl+A, Ctrl+C in the
# host, read back from the clipboard); n shows the next document; F7 finds a
# word and selects it; Esc closes the viewer with the host alive; a document
# with a Cyrillic name; big.doc opens and the host answers Esc while the rest
# loads; Alt+X quits cleanly. Every wait polls with a time limit.
set -uo pipefail

plugin="" cat="" sample="" other="" big=""
while [ $# -gt 0 ]; do
  case "$1" in
    --plugin) plugin=$(realpath "$2"); shift 2 ;;
    --cat) cat=$(realpath "$2"); shift 2 ;;
    --sample) sample=$(realpath "$2"); shift 2 ;;
    --other) other=$(realpath "$2"); shift 2 ;;
    --big) big=$(realpath "$2"); shift 2 ;;
    *) echo "doublecmd-test: unknown argument $1" >&2; exit 2 ;;
  esac
done
[ -n "$sample" ] && [ -n "$other" ] || { echo "doublecmd-test: --sample and --other are needed" >&2; exit 2; }
for tool in doublecmd xdotool xclip; do
  command -v "$tool" >/dev/null || { echo "doublecmd-test: $tool is missing (scripts/install-deps.sh)"; exit 77; }
done

scratch=$(mktemp -d)
dcpid="" xvfbpid=""
cleanup() {
  [ -n "$dcpid" ] && kill "$dcpid" 2>/dev/null
  [ -n "$xvfbpid" ] && kill "$xvfbpid" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT

# An X display of our own: the clipboard and the focus are the display's.
Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp 3>"$scratch/display" >/dev/null 2>&1 &
xvfbpid=$!
for _ in $(seq 100); do [ -s "$scratch/display" ] && break; sleep 0.1; done
[ -s "$scratch/display" ] || { echo "doublecmd-test: Xvfb did not start"; exit 1; }
export DISPLAY=":$(head -1 "$scratch/display")"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); shot "fail-$failures"; }
pass() { echo "ok: $*"; }
shot() { [ -n "${PAGELET_DC_SHOTS:-}" ] && import -window root "$PAGELET_DC_SHOTS/$1.png" 2>/dev/null; true; }

# poll SECONDS COMMAND...: runs COMMAND every 0.1 s until it succeeds. A
# host that has died ends the whole test at once, with its crash report.
poll() {
  local limit=$1; shift
  local end=$((SECONDS + limit))
  while [ "$SECONDS" -lt "$end" ]; do
    "$@" && return 0
    [ -n "$dcpid" ] && [ -z "${quitting:-}" ] && ! kill -0 "$dcpid" 2>/dev/null && host_died
    sleep 0.1
  done
  "$@"
}
host_died() {
  echo "FAIL: Double Commander died"
  [ -f "$scratch/config/doublecmd.err" ] && cat "$scratch/config/doublecmd.err"
  tail -30 "$scratch/doublecmd.log"
  exit 1
}
window_named() { xdotool search --name "$1" 2>/dev/null | head -1; }
has_window() { [ -n "$(window_named "$1")" ]; }
no_window() { [ -z "$(window_named "$1")" ]; }
dc_alive() { kill -0 "$dcpid" 2>/dev/null; }
dc_gone() { ! dc_alive; }

# The documents: a folder in a known order (".." first).
files="$scratch/files"
mkdir -p "$files" "$scratch/home" "$scratch/config"
cp "$sample" "$files/1-sample.doc"
cp "$other" "$files/2-other.doc"
cp "$sample" "$files/3-Ünïcødé-жук.doc"
[ -n "$big" ] && ln -s "$big" "$files/4-big.doc"

{
  echo '<?xml version="1.0" encoding="UTF-8"?>'
  echo '<doublecmd DCVersion="1.0.10" ConfigVersion="13">'
  if [ -n "$plugin" ]; then
    cat <<XML
  <Plugins>
    <WlxPlugins>
      <WlxPlugin Enabled="True">
        <Name>pagelet</Name>
        <Path>$plugin</Path>
        <DetectString>EXT="DOC" | EXT="DOT"</DetectString>
      </WlxPlugin>
    </WlxPlugins>
  </Plugins>
XML
  fi
  echo '</doublecmd>'
} >"$scratch/config/doublecmd.xml"

# The text as the clipboard should carry it: no CR, no NUL or U+FFFD, no
# trailing blanks, no empty lines at the end.
normal() { tr -d '\r' | sed -e 's/\xEF\xBF\xBD//g' -e 's/[[:space:]]*$//' | tr -d '\000' | sed -e :a -e '/^\n*$/{$d;N;ba' -e '}'; }
expected() { "$cat" "$1" 2>/dev/null | normal; }
clipboard() { timeout 5 xclip -o -selection clipboard 2>/dev/null; }

HOME="$scratch/home" LANG=C.UTF-8 doublecmd --config-dir="$scratch/config" --no-splash -L "$files" -R "$files" \
  >"$scratch/doublecmd.log" 2>&1 &
dcpid=$!

if ! poll 90 has_window '^Double Commander'; then
  fail "Double Commander's window did not appear"; cat "$scratch/doublecmd.log"; exit 1
fi
main=$(window_named '^Double Commander')
xdotool windowmove --sync "$main" 0 0
xdotool windowfocus --sync "$main"
sleep 0.5  # the first paint of the file list
xdotool mousemove 200 320 click 1

# open_viewer INDEX NAME: the cursor to entry INDEX (1 = first file), F3, wait
# for the viewer window (named after the file), move it to 0,0 and focus it.
viewer=""
open_viewer() {
  xdotool windowfocus --sync "$main"
  xdotool key Home
  for ((i = 0; i < $1; i++)); do xdotool key Down; done
  local started=$SECONDS
  xdotool key F3
  if ! poll 30 has_window "$2\$"; then fail "no viewer window for $2"; return 1; fi
  viewer=$(window_named "$2\$")
  xdotool windowmove --sync "$viewer" 0 0 2>/dev/null
  xdotool windowfocus --sync "$viewer" 2>/dev/null
  echo "   viewer of $2 after $((SECONDS - started)) s"
}

# copy_all: Ctrl+A, Ctrl+C in the viewer; prints the clipboard.
copy_all() {
  echo -n | xclip -selection clipboard
  xdotool windowfocus --sync "$viewer" 2>/dev/null
  xdotool key ctrl+a ctrl+c
  clipboard
}
clip_is() { [ "$(copy_all | normal)" = "$1" ]; }

close_viewer() {
  xdotool windowfocus --sync "$viewer" 2>/dev/null
  xdotool key Escape
  if poll 30 no_window "$1\$" && dc_alive; then pass "Esc closes the viewer of $1, the host runs on"; else fail "Esc did not close the viewer of $1"; fi
}

# 1. F3 on the sample.
if open_viewer 1 "1-sample.doc"; then
  shot viewer-sample
  if [ -n "$plugin" ]; then
    want=$(expected "$sample")
    if poll 20 clip_is "$want"; then pass "F3 shows the converter's text (Ctrl+A, Ctrl+C)"
    else fail "the clipboard does not hold the sample's text"; diff <(echo "$want") <(copy_all | normal) | head -20; fi
  else
    if [ -n "$(copy_all)" ]; then pass "Ctrl+A, Ctrl+C in the own viewer"; else fail "nothing copied in the own viewer"; fi
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
    echo -n | xclip -selection clipboard
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

# 5. big.doc opens at once; the host answers Esc while the rest loads.
if [ -n "$big" ] && open_viewer 4 "4-big.doc"; then
  shot viewer-big
  close_viewer "4-big.doc"
fi

# 6. Alt+X quits cleanly.
xdotool windowfocus --sync "$main" 2>/dev/null
quitting=1
xdotool key alt+x
if poll 60 dc_gone; then
  wait "$dcpid"; status=$?
  dcpid=""
  if [ "$status" -eq 0 ]; then pass "Alt+X quits (exit status 0)"; else fail "Double Commander exited with status $status"; fi
else
  fail "Alt+X did not end Double Commander"
fi

if [ -n "$plugin" ] && ! grep -q "$plugin" "$scratch/config/doublecmd.xml"; then
  fail "the saved configuration lost the plug-in's entry"
fi
if [ "$failures" -ne 0 ]; then
  echo "doublecmd-test: $failures failure(s); Double Commander's log:"; tail -30 "$scratch/doublecmd.log"
  exit 1
fi
echo "doublecmd-test: all passed"
