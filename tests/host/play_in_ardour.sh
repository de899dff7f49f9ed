#!/usr/bin/env bash
# Plays Mirel in Ardour, headless, the way a musician uses it:
#   1. Ardour's VST3 scanner scans the built bundle;
#   2. ardour7-lua builds a session (Dummy audio backend): a MIDI track with
#      Mirel as instrument, a MIDI region with two notes, Wave = sine and
#      Gain = 0.5 set through Ardour's plug-in controls; renders it ("live")
#      and saves the session;
#   3. ardour7-export reopens the saved session in a fresh process and renders
#      it again ("reopened");
#   4. the saved session must carry Mirel's own state with both values, and
#      mirel_render_check judges both renders against what was played.
# Nothing touches the user's files: HOME and the XDG folders point into a
# temporary folder, and Ardour finds the bundle through VST3_PATH only.
#
#   play_in_ardour.sh <Mirel.vst3> <mirel_render_check>
# Exit 0 pass, 1 fail, 77 skipped (Ardour 7 not installed).
set -uo pipefail

bundle="$1"
checker="$2"
here="$(cd "$(dirname "$0")" && pwd)"
ardour_lib=/usr/lib/ardour7
scanner="$ardour_lib/ardour-vst3-scanner"
lua_tool="$(command -v ardour7-lua || true)"
export_tool="$(command -v ardour7-export || true)"
preset_id=0b7c55e4-8f2a-4d3e-b1c9-5a6e7f809123

if [[ ! -x "$scanner" || -z "$lua_tool" || -z "$export_tool" ]]; then
  echo "Ardour 7 (ardour7-lua, ardour7-export, ardour-vst3-scanner) not installed; skipping"
  exit 77
fi
[[ -f "$bundle/Contents/x86_64-linux/Mirel.so" ]] || { echo "no built bundle at $bundle"; exit 1; }
[[ -x "$checker" ]] || { echo "no checker at $checker"; exit 1; }

work="$(mktemp -d "${TMPDIR:-/tmp}/mirel-ardour.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# A private home for Ardour: config, plug-in cache and recent-session list.
export HOME="$work/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_CACHE_HOME="$HOME/.cache" XDG_DATA_HOME="$HOME/.local/share"
unset ARDOUR_CONFIG_PATH ARDOUR_DATA_PATH ARDOUR_DLL_PATH ARDOUR_BACKEND_PATH LADSPA_PATH LV2_PATH VST_PATH LXVST_PATH
mkdir -p "$XDG_CONFIG_HOME/ardour7/export" "$work/vst3" "$work/live"
cp "$here/ardour-export/mirel-float.format" "$here/ardour-export/mirel-float.preset" "$XDG_CONFIG_HOME/ardour7/export/"
# Ardour looks for *.vst3 bundles inside the folders of VST3_PATH.
ln -s "$(cd "$bundle" && pwd)" "$work/vst3/Mirel.vst3"
export VST3_PATH="$work/vst3"

step() {  # step <name> <seconds> <command...>: bounded, output kept for a failure report
  local name="$1" seconds="$2"
  shift 2
  local log="$work/$name.log"
  local started=$SECONDS
  timeout -k 5 "$seconds" "$@" >"$log" 2>&1
  local rc=$?
  echo "== $name: exit $rc after $((SECONDS - started)) s"
  if [[ $rc != 0 ]]; then
    [[ $rc == 124 || $rc == 137 ]] && echo "== $name timed out after $seconds s"
    cat "$log"
    exit 1
  fi
}

# Ardour only loads plug-ins its scanner has cached; the scan goes to our cache.
step scan 30 env LD_LIBRARY_PATH="$ardour_lib" "$scanner" -f "$work/vst3/Mirel.vst3"

step session 60 "$lua_tool" "$here/mirel_session.lua" "$work/session" "$work/live" "$work/plan.txt" "$preset_id"
grep -q '^mirel-session: done' "$work/session.log" || { echo "session script did not finish"; cat "$work/session.log"; exit 1; }
shopt -s nullglob
live=("$work"/live/*.wav)
[[ ${#live[@]} == 1 ]] || { echo "expected one live render, found ${#live[@]}"; cat "$work/session.log"; exit 1; }

step reopen 30 "$export_tool" -b float -o "$work/reopened.wav" "$work/session" mirel

# Mirel's own state document travels in the session file as a base64 chunk;
# the values set through Ardour must be in it, not only in Ardour's copy.
state="$(grep -o '<chunk>[^<]*</chunk>' "$work/session/mirel.ardour" | sed 's/<[/]*chunk>//g' | base64 -d 2>/dev/null | tr -d '\000')"
for want in '"osc\.type":0[,}]' '"master\.gain":0\.5[,}]'; do
  if ! grep -qE -- "$want" <<<"$state"; then
    echo "saved session lacks $want in Mirel's state: $(grep -ao '"params":{[^}]*}' <<<"$state")"
    exit 1
  fi
done
echo "== saved state: $(grep -ao '"params":{[^}]*}' <<<"$state")"

"$checker" "$work/plan.txt" "${live[0]}" "$work/reopened.wav"
