#!/usr/bin/env bash
# The preloaded realtime guard names the first allocation and the first lock
# of a guarded region with a stack trace, and sums up at exit.
set -euo pipefail
program=$1 guard=$2
err=$(LD_PRELOAD="$guard" "$program" 2>&1 >/dev/null)
fail() { echo "FAIL: $1"; echo "$err"; exit 1; }
grep -q "realtime guard: heap allocation in guarded_work on the audio thread; stack" <<<"$err" || fail "no allocation report"
grep -q "realtime guard: mutex lock in guarded_work on the audio thread; stack" <<<"$err" || fail "no lock report"
grep -q "^[^ ]*rt_guarded_work(+0x[0-9a-f]*)" <<<"$err" || fail "no stack frames of the guarded program"
grep -q "realtime guard: 2 guarded calls, 1 heap allocations, 1 mutex locks" <<<"$err" || fail "wrong summary"
# Without the preload the module says it checks nothing, and runs.
err=$("$program" 2>&1 >/dev/null)
grep -q "liborbel-rt-guard.so is not preloaded" <<<"$err" || fail "no note without the preload"
echo "ok"
