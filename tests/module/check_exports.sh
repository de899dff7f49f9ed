#!/usr/bin/env bash
# The module exports exactly ModuleEntry, ModuleExit, GetPluginFactory, the
# eleven kernel entry points and extern "C" orbel* glue functions.
set -euo pipefail
so="$1"
[[ -f "$so" ]] || { echo "missing module: $so"; exit 1; }
mapfile -t syms < <(nm -D --defined-only "$so" | awk '{print $NF}' | sort -u)
kernel=(runtime_init set_panic_sink collect abi_version create input_view output_view
        push_event process reset destroy)
expected=(ModuleEntry ModuleExit GetPluginFactory)
for k in "${kernel[@]}"; do expected+=("scpr_music_orbel_mirel_9ff6eb2b48a9_$k"); done
status=0
for e in "${expected[@]}"; do
  if ! printf '%s\n' "${syms[@]}" | grep -qx "$e"; then echo "not exported: $e"; status=1; fi
done
for s in "${syms[@]}"; do
  case "$s" in
    ModuleEntry|ModuleExit|GetPluginFactory|scpr_music_orbel_mirel_9ff6eb2b48a9_*|orbel*) ;;
    *) echo "unexpected export: $s"; status=1 ;;
  esac
done
n=$(printf '%s\n' "${syms[@]}" | grep -c '^scpr_music_orbel_mirel_9ff6eb2b48a9_' || true)
[[ "$n" == 11 ]] || { echo "expected 11 kernel entry points, found $n"; status=1; }
# Unresolved symbols must all come from the system libraries.
if ldd -r "$so" 2>&1 | grep -q 'undefined symbol'; then
  ldd -r "$so" 2>&1 | grep 'undefined symbol'; status=1
fi
[[ $status == 0 ]] && echo "exports ok (${#syms[@]} symbols)"
exit $status
