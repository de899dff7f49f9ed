#!/usr/bin/env bash
# The module exports exactly ModuleEntry, ModuleExit, GetPluginFactory, the
# eleven kernel entry points and the seven glue functions of
# plugin/diagnostic_bridge.h; nothing else.
set -euo pipefail
so="$1"
[[ -f "$so" ]] || { echo "missing module: $so"; exit 1; }
mapfile -t syms < <(nm -D --defined-only "$so" | awk '{print $NF}' | sort -u)
kernel=(runtime_init set_panic_sink collect abi_version create input_view output_view
        push_event process reset destroy)
glue=(orbelStartCadenceClock orbelStopCadenceClock orbelDiagnosticBridgeAbiVersion
      orbelInstallDiagnosticBridgeSink orbelDeliverDiagnosticBridgeMessage orbelTickDiagnosticCadence
      orbelPluginUiRootForDiagnostics)
expected=(ModuleEntry ModuleExit GetPluginFactory "${glue[@]}")
for k in "${kernel[@]}"; do expected+=("scpr_music_orbel_mirel_9ff6eb2b48a9_$k"); done
# Sets, not pipes: `grep -q` leaving a pipe early would fail it under pipefail.
declare -A exported wanted
for s in "${syms[@]}"; do exported[$s]=1; done
for e in "${expected[@]}"; do wanted[$e]=1; done
status=0
for e in "${expected[@]}"; do
  [[ -n "${exported[$e]:-}" ]] || { echo "not exported: $e"; status=1; }
done
for s in "${syms[@]}"; do
  [[ -n "${wanted[$s]:-}" ]] || { echo "unexpected export: $s"; status=1; }
done
# Unresolved symbols must all come from the system libraries.
if ldd -r "$so" 2>&1 | grep -q 'undefined symbol'; then
  ldd -r "$so" 2>&1 | grep 'undefined symbol'; status=1
fi
[[ $status == 0 ]] && echo "exports ok (${#syms[@]} symbols)"
exit $status
