#!/usr/bin/env bash
# Runs the whole test suite: unit, module and host tests (g++), and the editor
# page in headless Chromium (its npm packages go into build/page-node with
# npm ci); the concurrency tests under ThreadSanitizer; the unit tests again
# and bounded fuzz runs under ASan+UBSan (clang). Ends with CTest's summary of
# the main tree.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/deps.sh test

jobs=$(nproc)
export CTEST_OUTPUT_ON_FAILURE=1

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"

cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DORBEL_SANITIZE=thread -DORBEL_BUILD_PLUGIN=OFF -DORBEL_BUILD_BENCH=OFF >/dev/null
cmake --build build-tsan -j "$jobs"

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DORBEL_FUZZ=ON -DORBEL_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j "$jobs"

echo "== concurrency tests under ThreadSanitizer"
ctest --test-dir build-tsan -j "$jobs" --no-tests=ignore
echo "== unit tests and fuzz smoke runs under ASan+UBSan"
ctest --test-dir build-fuzz -j "$jobs" --no-tests=ignore
echo "== unit, module, host and page tests"
ctest --test-dir build -j "$jobs"
