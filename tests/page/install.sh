#!/usr/bin/env bash
# Installs the page tests' npm packages into a folder of the build tree, from
# the committed lock file (npm ci; no global install, no browser download).
# Does nothing when that folder already holds exactly this lock's packages.
#   install.sh SOURCE_DIR NODE_DIR
set -euo pipefail
src=$1
dest=$2
mkdir -p "$dest"
if [[ -f "$dest/node_modules/.package-lock.json" ]] && cmp -s "$src/package-lock.json" "$dest/package-lock.json"; then
  exit 0
fi
cp "$src/package.json" "$src/package-lock.json" "$dest/"
cd "$dest"
# Node keeps its own list of certificate authorities; trust the system's too,
# as apt and curl do (a machine behind a proxy with its own authority).
if [[ -z ${NODE_EXTRA_CA_CERTS:-} && -r /etc/ssl/certs/ca-certificates.crt ]]; then
  export NODE_EXTRA_CA_CERTS=/etc/ssl/certs/ca-certificates.crt
fi
PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error
