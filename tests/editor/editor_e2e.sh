#!/usr/bin/env bash
# End to end under an X server (run through tests/support/with_xvfb.sh): the
# built module's editor in `orbel-probe editor`, the real page in the real
# web view helper. Waits until the page has drawn the hello, drags the
# filter's cutoff knob with the mouse (xdotool), closes the editor and
# checks that the controller's parameter moved, that the probe as host saw
# beginEdit/performEdit/endEdit, and that the helper and WebKit's processes
# are gone. A second run kills the helper while the editor is open: the
# probe must report an editor error and close cleanly. No file may be
# written under $HOME.
#   editor_e2e.sh ORBEL_PROBE BUNDLE WORK_DIR
set -uo pipefail
probe="$1"
bundle="$2"
work="$3"
command -v xdotool >/dev/null || { echo "xdotool is not installed (bash scripts/deps.sh test); skipping"; exit 77; }
mkdir -p "$work"
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Starts the editor in the background; sets probe_pid.
start_editor() {
  local name="$1"
  shift
  env -u XDG_CACHE_HOME -u XDG_CONFIG_HOME -u XDG_DATA_HOME -u XDG_STATE_HOME HOME="$home" \
    "$probe" editor "$bundle" --seconds 90 "$@" >"$work/$name.out" 2>"$work/$name.err" &
  probe_pid=$!
}
# Waits (up to 60 s) for a line matching $2 in the output of run $1.
wait_for() {
  for _ in $(seq 1 600); do
    grep -q -- "$2" "$work/$1.out" 2>/dev/null && return 0
    kill -0 "$probe_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "no '$2' from the editor ($1); it printed:"
  cat "$work/$1.out" "$work/$1.err"
  return 1
}
# The page process and its children (WebKit's network and page processes).
processes_of() {
  local pid="$1"
  echo "$pid"
  cat /proc/"$pid"/task/*/children 2>/dev/null | tr ' ' '\n' | grep -v '^$'
}
all_gone() {
  for _ in $(seq 1 100); do
    local alive=0
    for p in "$@"; do kill -0 "$p" 2>/dev/null && alive=1; done
    ((alive == 0)) && return 0
    sleep 0.1
  done
  return 1
}
finish_editor() {
  kill -TERM "$probe_pid" 2>/dev/null
  wait "$probe_pid"
}

# --- 1: drag a knob -----------------------------------------------------------
start_editor drag --screenshot "$work/editor.png"
if wait_for drag "editor: screenshot"; then
  page=$(sed -n 's/.*page process \([0-9][0-9]*\)$/\1/p' "$work/drag.out")
  mapfile -t processes < <(processes_of "$page")
  ((${#processes[@]} >= 2)) || fail "the page process $page started no WebKit processes (${processes[*]})"
  # The cutoff knob of the 720x560 layout (docs/editor-probe.png), dragged
  # upwards in small steps as a hand would.
  xdotool mousemove 425 85
  sleep 0.2
  xdotool mousedown 1
  for y in 82 78 74 70 66 62 58 54 50; do
    xdotool mousemove 425 "$y"
    sleep 0.04
  done
  xdotool mouseup 1
  sleep 0.8
  finish_editor
  rc=$?
  cat "$work/drag.out"
  ((rc == 0)) || fail "orbel-probe editor exited with $rc: $(cat "$work/drag.err")"
  grep -q "^editor: host edit: beginEdit filter.cutoff$" "$work/drag.out" || fail "no beginEdit for filter.cutoff"
  grep -q "^editor: host edit: performEdit filter.cutoff x" "$work/drag.out" || fail "no performEdit for filter.cutoff"
  grep -q "^editor: host edit: endEdit filter.cutoff$" "$work/drag.out" || fail "no endEdit for filter.cutoff"
  # Edits come in gesture order: begin, performs, end.
  order=$(sed -n 's/^editor: host edit: \([a-zA-Z]*\) filter.cutoff.*/\1/p' "$work/drag.out" | uniq | tr '\n' ' ')
  [[ "$order" == "beginEdit performEdit endEdit " ]] || fail "edits out of order: $order"
  grep -q "^editor: parameter filter.cutoff: " "$work/drag.out" || fail "the controller's cutoff did not change"
  grep -q "^editor: page process $page gone" "$work/drag.out" || fail "the page process outlived the view"
  all_gone "${processes[@]}" || fail "processes still running after the editor closed: ${processes[*]}"
  [[ -s "$work/editor.png" ]] || fail "no screenshot"
else
  finish_editor
  fail "the editor did not draw"
fi

# --- 2: the helper dies while the editor is open --------------------------------
start_editor killed
if wait_for killed "editor: hello drawn"; then
  page=$(sed -n 's/.*page process \([0-9][0-9]*\)$/\1/p' "$work/killed.out")
  mapfile -t processes < <(processes_of "$page")
  kill -KILL "$page"
  wait_for killed "editor: error: webview helper exited" || fail "the helper's end was not reported"
  finish_editor
  rc=$?
  cat "$work/killed.out"
  ((rc == 0)) || fail "orbel-probe editor exited with $rc after the helper died: $(cat "$work/killed.err")"
  all_gone "${processes[@]}" || fail "processes still running after the helper was killed: ${processes[*]}"
else
  finish_editor
  fail "the editor did not draw (second run)"
fi

# Nothing of the editor's is kept under the user's home. (Without
# XDG_RUNTIME_DIR, as here, GLib creates an empty ~/.cache to stand in for
# it; folders alone hold nothing.)
if [[ -n "$(find "$home" -mindepth 1 -not -type d -print -quit)" ]]; then
  fail "the editor wrote under \$HOME:"
  find "$home" -mindepth 1 -not -type d | head -20
fi
((failures == 0)) && echo "editor end to end: passed"
exit $((failures > 0))
