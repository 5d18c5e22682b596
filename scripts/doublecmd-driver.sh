# Drives Double Commander as a user does, under an X server of its own, with a
# fresh configuration that registers a lister plug-in. Sourced by
# tests/doublecmd/doublecmd-test.sh and scripts/run-main.sh --doublecmd and
# --doublecmd-qt. The installed program (the GTK build) unless dc_binary names
# another (the Qt build that tests/doublecmd/prepare-doublecmd-qt.sh makes):
#
#   dc_begin [PLUGIN]          scratch folder, Xvfb, $files (put documents there)
#   dc_start                   starts the file manager on $files, focuses it
#   dc_open_viewer INDEX NAME  F3 on entry INDEX (1 = first file); sets $viewer
#   dc_copy_all                Ctrl+A, Ctrl+C in the viewer; prints the clipboard
#   dc_close_viewer NAME       Esc; true when the viewer went and the host runs on
#   dc_quit                    Alt+X; true when the host exits with status 0
#
# Every wait polls with a time limit; a host that dies ends the script at
# once (exit 1) with its crash report.

dc_scratch="" dcpid="" dc_xvfbpid="" dc_quitting="" dc_main="" viewer="" files=""
dc_binary=${dc_binary:-doublecmd}

dc_cleanup() {
  [ -n "$dcpid" ] && kill "$dcpid" 2>/dev/null
  [ -n "$dc_xvfbpid" ] && kill "$dc_xvfbpid" 2>/dev/null
  [ -n "$dc_scratch" ] && rm -rf "$dc_scratch"
}

# poll SECONDS COMMAND...: runs COMMAND every 0.1 s until it succeeds.
poll() {
  local limit=$1; shift
  local end=$((SECONDS + limit))
  while [ "$SECONDS" -lt "$end" ]; do
    "$@" && return 0
    [ -n "$dcpid" ] && [ -z "$dc_quitting" ] && ! kill -0 "$dcpid" 2>/dev/null && dc_died
    sleep 0.1
  done
  "$@"
}
dc_died() {
  echo "FAIL: Double Commander died"
  [ -f "$dc_scratch/config/doublecmd.err" ] && cat "$dc_scratch/config/doublecmd.err"
  tail -30 "$dc_scratch/doublecmd.log"
  exit 1
}
window_named() { xdotool search --name "$1" 2>/dev/null | head -1; }
has_window() { [ -n "$(window_named "$1")" ]; }
no_window() { [ -z "$(window_named "$1")" ]; }
dc_alive() { kill -0 "$dcpid" 2>/dev/null; }
dc_gone() { ! dc_alive; }
clipboard() { timeout 5 xclip -o -selection clipboard 2>/dev/null; }

dc_begin() {
  local plugin=${1:-}
  dc_scratch=$(mktemp -d)
  trap dc_cleanup EXIT
  # An X display of our own: the clipboard and the focus are the display's.
  Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp 3>"$dc_scratch/display" >/dev/null 2>&1 &
  dc_xvfbpid=$!
  for _ in $(seq 100); do [ -s "$dc_scratch/display" ] && break; sleep 0.1; done
  [ -s "$dc_scratch/display" ] || { echo "Xvfb did not start"; exit 1; }
  export DISPLAY=":$(head -1 "$dc_scratch/display")"

  files="$dc_scratch/files"
  mkdir -p "$files" "$dc_scratch/home" "$dc_scratch/config"
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
  } >"$dc_scratch/config/doublecmd.xml"
}

dc_config() { echo "$dc_scratch/config/doublecmd.xml"; }

dc_start() {
  HOME="$dc_scratch/home" LANG=C.UTF-8 "$dc_binary" --config-dir="$dc_scratch/config" --no-splash -L "$files" -R "$files" \
    >"$dc_scratch/doublecmd.log" 2>&1 &
  dcpid=$!
  # The Qt build has hidden windows of the same name: the visible one.
  if ! poll 90 dc_main_visible; then
    echo "FAIL: Double Commander's window did not appear"; cat "$dc_scratch/doublecmd.log"; exit 1
  fi
  dc_main=$(xdotool search --onlyvisible --name '^Double Commander' 2>/dev/null | head -1)
  xdotool windowmove --sync "$dc_main" 0 0
  dc_focus_list
}
dc_main_visible() { [ -n "$(xdotool search --onlyvisible --name '^Double Commander' 2>/dev/null | head -1)" ]; }
# The left file list takes the keys: focus the window, click into the list.
dc_focus_list() {
  xdotool windowfocus --sync "$dc_main" 2>/dev/null
  sleep 0.5  # the first paint of the file list
  xdotool mousemove 200 320 click 1
}

# The file list is sorted by name, ".." first; the viewer window is named
# after the file. It is moved to 0,0 and focused.
# A file manager that is still busy starting may miss the keys: up to three
# tries, the list focused again before each.
dc_open_viewer() {
  local started=$SECONDS try
  for try in 1 2 3; do
    [ "$try" -gt 1 ] && dc_focus_list
    xdotool windowfocus --sync "$dc_main"
    xdotool key Home
    for ((i = 0; i < $1; i++)); do xdotool key Down; done
    xdotool key F3
    poll 15 has_window "$2\$" && break
  done
  has_window "$2\$" || { echo "no viewer window for $2"; return 1; }
  viewer=$(window_named "$2\$")
  xdotool windowmove --sync "$viewer" 0 0 2>/dev/null
  xdotool windowfocus --sync "$viewer" 2>/dev/null
  echo "   viewer of $2 after $((SECONDS - started)) s"
}

# xclip stays behind to serve the cleared clipboard until a copy takes it:
# its output must not hold the caller's pipe open, or a copy that did not
# happen would hang the caller instead of failing its check.
dc_copy_all() {
  echo -n | xclip -selection clipboard >/dev/null 2>&1
  xdotool windowfocus --sync "$viewer" 2>/dev/null
  xdotool key ctrl+a ctrl+c
  clipboard
}

dc_close_viewer() {
  xdotool windowfocus --sync "$viewer" 2>/dev/null
  xdotool key Escape
  poll 30 no_window "$1\$" && dc_alive
}

dc_quit() {
  dc_quitting=1
  xdotool windowfocus --sync "$dc_main" 2>/dev/null
  xdotool key alt+x
  poll 60 dc_gone || return 1
  local status=0
  wait "$dcpid" || status=$?
  dcpid=""
  [ "$status" -eq 0 ] || { echo "Double Commander exited with status $status"; return 1; }
}
