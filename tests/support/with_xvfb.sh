#!/usr/bin/env bash
# Runs a command against an X server of its own: starts Xvfb on a free
# display, runs the command with DISPLAY set to it, and stops the server
# however the command ends. Exit 77 (skipped) when Xvfb is not installed.
#   with_xvfb.sh COMMAND [ARGS...]
set -uo pipefail
command -v Xvfb >/dev/null || { echo "Xvfb is not installed (bash scripts/deps.sh test); skipping"; exit 77; }
ready=$(mktemp)
# -displayfd: the server picks a free display and writes its number when it
# accepts connections.
Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp -noreset 3>"$ready" 2>/dev/null &
server=$!
stop() {
  kill "$server" 2>/dev/null
  wait "$server" 2>/dev/null
  rm -f "$ready"
}
trap stop EXIT
for _ in $(seq 1 200); do
  [[ -s "$ready" ]] && break
  kill -0 "$server" 2>/dev/null || break
  sleep 0.05
done
display=$(head -n 1 "$ready")
[[ -n "$display" ]] || { echo "Xvfb did not start"; exit 1; }
DISPLAY=":$display" "$@"
