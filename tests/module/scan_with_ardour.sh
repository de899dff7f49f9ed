#!/usr/bin/env bash
# Loads the bundle in a real host's plug-in scanner. Exit 77 (skipped) when the
# scanner is not installed.
set -uo pipefail
bundle="$1"
scanner=/usr/lib/ardour7/ardour-vst3-scanner
[[ -x "$scanner" ]] || { echo "ardour-vst3-scanner not installed; skipping"; exit 77; }
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
out=$(HOME="$home" XDG_CACHE_HOME="$home/cache" LD_LIBRARY_PATH=/usr/lib/ardour7 \
      timeout 60 "$scanner" -v -f "$bundle" 2>&1)
rc=$?
echo "$out"
[[ $rc == 0 ]] || { echo "scanner exited with $rc"; exit 1; }
echo "$out" | grep -q "Mirel" || { echo "scanner did not report Mirel"; exit 1; }
exit 0
