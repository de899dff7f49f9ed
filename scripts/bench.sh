#!/usr/bin/env bash
# Runs every performance figure of docs/benchmarks.md in one go and prints
# the page's table (markdown) on standard output; the raw Google Benchmark
# results stay in build/bench-results/. Builds what it needs in build/.
#   bash scripts/bench.sh > /tmp/table.md
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORBEL_BUILD_BENCH=ON >/dev/null
cmake --build build -j "$(nproc)" --target bench_kernel bench_engine bench_processor bench_editor Mirel >&2
out=build/bench-results
mkdir -p "$out"
run() {  # name, command...
  local name=$1
  shift
  echo "== $name" >&2
  "$@" --benchmark_format=json --benchmark_out="$out/$name.json" --benchmark_out_format=json >&2
}
run kernel build/bench/bench_kernel
run engine build/bench/bench_engine
run processor build/bench/bench_processor
run editor tests/support/with_xvfb.sh build/bench/bench_editor --benchmark_filter='ColdOpen|RoundTrip'
python3 scripts/bench_table.py "$out"
