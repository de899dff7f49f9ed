#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Idempotent and
# quiet when everything is already there.
#   scripts/deps.sh build   packages to build the plug-in and run it
#   scripts/deps.sh test    packages to build and run the whole test suite
set -euo pipefail

want=(
  build-essential cmake ninja-build pkg-config
  juce-modules-source-data
  libwebkit2gtk-4.1-dev libgtk-3-dev
  libcurl4-openssl-dev libssl-dev libarchive-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
)
if [[ "${1:-build}" == "test" ]]; then
  want+=(
    clang-14 libclang-rt-14-dev
    python3 openssl
    ardour
    chromium
  )
  # The editor page tests: Node and npm (a Node installed from elsewhere,
  # which brings its own npm, is kept as it is).
  command -v node >/dev/null || want+=(nodejs)
  command -v npm >/dev/null || want+=(npm)
fi

missing=()
for p in "${want[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  sudo_cmd=()
  [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
