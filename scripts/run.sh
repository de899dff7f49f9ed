#!/usr/bin/env bash
# Builds Mirel, installs Mirel.vst3 into ~/.vst3 and renders a short phrase
# through the installed module with orbel-probe.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/deps.sh build

jobs=$(nproc)
# Only the module and the probe are built, but the tree stays configured with
# everything, so the benchmarks and tests can be built in it later.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORBEL_BUILD_BENCH=ON >/dev/null
cmake --build build -j "$jobs" --target Mirel orbel-probe

mkdir -p "$HOME/.vst3"
rm -rf "$HOME/.vst3/Mirel.vst3"
cp -r build/Mirel.vst3 "$HOME/.vst3/"
echo "installed: $HOME/.vst3/Mirel.vst3"

out="$root/build/mirel-phrase.wav"
build/tools/orbel-probe render "$HOME/.vst3/Mirel.vst3" --out "$out" \
  --rate 48000 --block 512 \
  --set osc.type=Saw --set filter.cutoff=1200 --set filter.envAmount=0.5 \
  --note 57@0.0:0.4:0.9 --note 60@0.5:0.4:0.8 --note 64@1.0:0.4:0.8 --note 69@1.5:1.0:1.0
echo "rendered: $out"
