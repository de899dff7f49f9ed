#!/usr/bin/env bash
# Runs the commands that README.md and docs/*.md give, the way a new user
# types them, and fails on any that does not work as written.
#
#   check_commands.sh <source folder> <build folder>
#
# A command is a line of a ```sh block, a line of an indented code block that
# starts with a command this project uses (bash, cmake, ctest, build/...,
# build-fuzz/..., LD_LIBRARY_PATH=..., ORBEL_...=..., node), or an inline
# `code span` that starts with one of them followed by arguments. In a ```sh
# block, lines starting with '{' are the standard input of the command above
# them (the bridge console's messages).
#
# Each command is run in a scratch folder where build/ and the other trees
# (build-fuzz/, ...) are the real ones, with HOME pointing at a scratch home
# into which the built Mirel.vst3 is installed as scripts/run.sh installs it
# (~/.vst3); a command that needs a tree the suite has not configured
# (build-asan/, build-guard/) is named and skipped:
#   - orbel-probe commands and Ardour's scanner run as written (the editor
#     under an Xvfb of its own, for a few seconds);
#   - ctest commands list the tests they select (-N), which must be some;
#   - `cmake --build` of existing targets runs (the suite has built them);
#   - benchmarks list their cases (--benchmark_list_tests) instead of
#     running for minutes; a long fuzz run does 100 runs;
#   - the two scripts, configure lines and the page's own test command are
#     not run here (the suite is made of them); the check says so; the
#     benchmark script is parsed and its programs looked for.
# A block that cannot run in the suite (it opens a window, say) is marked by
# a line `<!-- unchecked: reason -->` right before it. A command no rule
# knows fails the check, so every new command is looked at.
set -uo pipefail

src="$(cd "$1" && pwd)"
build="$(cd "$2" && pwd)"
fuzz_tree="$(dirname "$build")/build-fuzz"
[[ -d "$fuzz_tree" ]] || fuzz_tree="$src/build-fuzz"

scratch="$(mktemp -d "${TMPDIR:-/tmp}/mirel-docs.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/run" "$scratch/home/.vst3"
ln -s "$build" "$scratch/run/build"
[[ -d "$fuzz_tree" ]] && ln -s "$fuzz_tree" "$scratch/run/build-fuzz"
# Other trees the docs name (build-tsan, build-guard, ...), where they exist.
for tree in "$src"/build-*; do
  [[ -d "$tree" && ! -e "$scratch/run/$(basename "$tree")" ]] && ln -s "$tree" "$scratch/run/$(basename "$tree")"
done
for item in ui tests fuzz scripts docs; do ln -s "$src/$item" "$scratch/run/$item"; done
cp -r "$build/Mirel.vst3" "$scratch/home/.vst3/"
export HOME="$scratch/home"

# file, line, kind (cmd|input), unchecked reason, text; separated by \x1f
sep=$'\x1f'
extract() {
  awk -v file="$1" -v sep="$sep" '
    function starts_command(t) {
      return t ~ /^(bash |cmake |ctest |build\/|build-[a-z]+\/|LD_LIBRARY_PATH=|LD_PRELOAD=|ORBEL_[A-Z_]+=[^ ]* [^ ]|node )/
    }
    function emit(kind, text) {
      printf "%s%s%d%s%s%s%s%s%s\n", file, sep, start, sep, kind, sep, reason, sep, text
    }
    BEGIN { fence = 0; indented = 0; blank = 1; pending = ""; reason = "" }
    {
      line = $0
      if (match(line, /^[ \t]*<!-- unchecked: .* -->$/)) {
        sub(/^[ \t]+/, "", line)
        marker = substr(line, 17, length(line) - 20)
        next
      }
      if (line ~ /^[ \t]*```/) {  # fences may be indented inside a list
        if (!fence) { fence = 1; shell = line ~ /^[ \t]*```(sh|bash|shell)[ \t]*$/; reason = marker; marker = "" }
        else { fence = 0; reason = "" }
        next
      }
      if (fence) {
        if (!shell) next
        text = line
        sub(/^[ \t]+/, "", text)
      } else if (line ~ /^    / && line !~ /^[ \t]*$/ && (blank || indented)) {
        text = substr(line, 5)
        sub(/^[ \t]+/, "", text)
        if (!indented) { indented = 1; reason = marker; marker = "" }
        if (!starts_command(text) && pending == "" && text !~ /^\{/) { blank = 0; next }
      } else {
        if (indented) { indented = 0; reason = "" }
        blank = line ~ /^[ \t]*$/
        if (!blank) marker = ""
        # inline spans: `command args`
        rest = line
        while (match(rest, /`[^`]+`/)) {
          span = substr(rest, RSTART + 1, RLENGTH - 2)
          rest = substr(rest, RSTART + RLENGTH)
          if (starts_command(span) && span ~ / /) { start = NR; r = reason; reason = ""; emit("cmd", span); reason = r }
        }
        next
      }
      sub(/[ \t]+#.*$/, "", text)
      if (text ~ /^[ \t]*(#.*)?$/) next
      if (pending != "") { pending = pending " " text }
      else { start = NR; pending = text }
      if (pending ~ /\\$/) { sub(/[ \t]*\\$/, "", pending); next }
      emit(pending ~ /^\{/ ? "input" : "cmd", pending)
      pending = ""
    }
  ' "$2"
}

failures=0
checked=0
say() { printf '%s\n' "$*"; }
fail() {
  say "FAIL  $where: $command"
  say "      $1"
  [[ -n "${2:-}" ]] && sed 's/^/      | /' "$2" | tail -n 15
  failures=$((failures + 1))
}

# Runs one command line in the scratch folder; its output goes to $scratch/out.
run_here() {  # run_here <command line> [<input file>]
  (cd "$scratch/run" && timeout -k 5 120 bash -c "$1" <"${2:-/dev/null}" >"$scratch/out" 2>&1)
}

check() {  # check <command> <input file or empty>
  local input="$2" status targets preset tree
  # A tree other than build/ and build-fuzz/ is one the docs tell how to
  # configure; where it has not been, its commands cannot run here.
  for tree in $(grep -oE '(^|[ /=])build-[a-z]+(/|$| )' <<<"$command" | grep -oE 'build-[a-z]+' | sort -u); do
    if [[ ! -e "$scratch/run/$tree" ]]; then
      say "SKIP  $where: $command ($tree/ is not configured here)"
      return
    fi
  done
  case "$command" in
    "bash scripts/run.sh"*)
      # The docs build benchmarks and tests in build/ after the run command:
      # it must not configure them away.
      if grep -qE -- '-DORBEL_BUILD_(BENCH|PLUGIN)=OFF' "$src/scripts/run.sh"; then
        fail "scripts/run.sh configures build/ without what the docs build there later"
      else
        say "SKIP  $where: $command (builds and installs; its configure line keeps every target)"
      fi ;;
    "bash scripts/test.sh"*)
      say "SKIP  $where: $command (the suite itself)" ;;
    "bash scripts/bench.sh"*)
      # It runs every benchmark for minutes: check that it parses and that
      # every benchmark program it runs is built here.
      local missing=""
      for program in $(grep -oE 'build/bench/[a-z_]+' "$src/scripts/bench.sh" | sort -u); do
        [[ -x "$build/${program#build/}" ]] || missing+=" $program"
      done
      if ! bash -n "$src/scripts/bench.sh"; then
        fail "scripts/bench.sh does not parse"
      elif [[ -n "$missing" ]]; then
        fail "scripts/bench.sh runs programs that are not built:$missing"
      else
        say "OK    $where: $command (parses; its benchmark programs are built)"
      fi ;;
    "cmake -S . -B "* | "cmake -S . -B build"*)
      say "SKIP  $where: $command (a configure line: the suite configures its trees itself)" ;;
    "cmake --preset "*)
      local presets all_found=1
      presets="$(cd "$src" && cmake --list-presets 2>/dev/null)"
      for preset in $(sed 's/^cmake --preset //; s/|/ /g' <<<"$command"); do
        grep -q "\"$preset\"" <<<"$presets" || { all_found=0; fail "no configure preset '$preset'"; }
      done
      ((all_found)) && say "OK    $where: $command (presets exist)" ;;
    "cmake --build build-"*)
      run_here "$command" && say "OK    $where: $command" || fail "exit $?" "$scratch/out" ;;
    "LD_PRELOAD="*)
      run_here "$command" && say "OK    $where: $command" || fail "exit $?" "$scratch/out" ;;
    "cmake --build build"*)
      run_here "$command" && say "OK    $where: $command" || fail "exit $?" "$scratch/out" ;;
    "ctest --test-dir "*)
      if run_here "$command -N" && grep -qE 'Total Tests: [1-9]' "$scratch/out"; then
        say "OK    $where: $command ($(grep -oE 'Total Tests: [0-9]+' "$scratch/out") selected)"
      else
        fail "selects no test" "$scratch/out"
      fi ;;
    "build-fuzz/fuzz/"*"<"*)
      say "SKIP  $where: $command (a placeholder)" ;;
    "build-fuzz/fuzz/"*)
      if [[ -x "$fuzz_tree/fuzz/$(awk '{print $1}' <<<"$command" | sed 's|build-fuzz/fuzz/||')" ]]; then
        local short
        short="$(sed -E 's/-max_total_time=[0-9]+/-runs=100/; s/ -jobs=[0-9]+//' <<<"$command")"
        run_here "$short" && say "OK    $where: $command (as $short)" || fail "exit $?" "$scratch/out"
      else
        say "SKIP  $where: $command (no fuzz build here)"
      fi ;;
    "build/bench/"*)
      local bench all_ok=1
      for bench in $(tr ';' '\n' <<<"$command" | awk '{print $1}'); do
        if ! run_here "$bench --benchmark_list_tests" || [[ ! -s "$scratch/out" ]]; then
          all_ok=0
          fail "$bench does not list its benchmarks" "$scratch/out"
        fi
      done
      ((all_ok)) && say "OK    $where: $command (each lists its benchmarks)" ;;
    "build/tools/orbel-probe editor "*)
      # The editor opens a window: under an Xvfb of its own, and for a few
      # seconds when the command would stay open until its window closes.
      local shown="$command"
      [[ "$shown" == *"--seconds "* ]] || shown="$shown --seconds 10"
      if run_here "tests/support/with_xvfb.sh $shown" && grep -q "hello drawn" "$scratch/out"; then
        say "OK    $where: $command (under Xvfb, as $shown)"
      else
        fail "the editor did not draw its page under Xvfb" "$scratch/out"
      fi ;;
    "build/tools/orbel-probe "*)
      run_here "$command" "$input" && say "OK    $where: $command" || fail "exit $?" "$scratch/out" ;;
    "LD_LIBRARY_PATH=/usr/lib/ardour7 /usr/lib/ardour7/ardour-vst3-scanner"*)
      if [[ -x /usr/lib/ardour7/ardour-vst3-scanner ]]; then
        if run_here "$command" && grep -q "Mirel" "$scratch/out"; then
          say "OK    $where: $command"
        else
          fail "the scanner did not list Mirel" "$scratch/out"
        fi
      else
        say "SKIP  $where: $command (Ardour 7 is not installed)"
      fi ;;
    "ORBEL_UI_DIR="*" node --test "*)
      local file
      file="$(grep -oE 'tests/page/[a-z_]+\.test\.mjs' <<<"$command")"
      if [[ -f "$src/$file" ]]; then
        say "SKIP  $where: $command (the page tests run in the suite; $file exists)"
      else
        fail "no page test $file"
      fi ;;
    *)
      fail "no rule for this command: add one to tests/docs/check_commands.sh, or mark its block <!-- unchecked: why -->" ;;
  esac
}

records="$scratch/records"
for doc in "$src/README.md" "$src"/docs/*.md; do extract "${doc#"$src"/}" "$doc"; done >"$records"

# Commands with the input lines that follow them.
mapfile -t lines <"$records"
for ((i = 0; i < ${#lines[@]}; i++)); do
  IFS="$sep" read -r file line kind reason command <<<"${lines[i]}"
  [[ "$kind" == cmd ]] || continue
  where="$file:$line"
  input=""
  next_kind() { (( i + 1 < ${#lines[@]} )) && [[ "$(cut -d "$sep" -f3 <<<"${lines[i + 1]}")" == input ]]; }
  if next_kind; then
    input="$scratch/input.$i"
    : >"$input"
    while next_kind; do
      i=$((i + 1))
      cut -d "$sep" -f5- <<<"${lines[i]}" >>"$input"
    done
  fi
  checked=$((checked + 1))
  if [[ -n "$reason" ]]; then
    say "SKIP  $where: $command (marked: $reason)"
    continue
  fi
  check "$command" "$input"
done

say "$checked commands in README.md and docs/, $failures failing"
((checked > 0)) || { say "no commands found: the extraction is broken"; exit 1; }
((failures == 0))
