// The CC map as the page edits it: a list of bindings of MIDI controllers to
// parameters. Maps arrive in the plug-in's document form (an object with
// "bindings", or a bare array) and are read as leniently as the plug-in
// reads them; the page sends its map back in the same form, each binding's
// members in the order the plug-in writes them.
import { PARAMS, paramByPath } from './params.js';
import { arr, isObject, num } from './read.js';

export const MAX_BINDINGS = 64;

export const CURVES = [['linear', 'Linear'], ['exp', 'Exponential'], ['log', 'Logarithmic'], ['s-curve', 'S-curve']];
export const VALUE_MODES = [
  ['absolute', 'Absolute'],
  ['relative-signed-bit', 'Relative (signed bit)'],
  ['relative-binary-offset', 'Relative (offset 64)'],
  ['relative-twos-complement', "Relative (2's complement)"],
  ['toggle', 'Toggle'],
];
export const TAKEOVERS = [['none', 'Jump'], ['pickup', 'Pick up'], ['scaled', 'Scaled']];

const known = (list, value, fallback) => (list.some(([name]) => name === value) ? value : fallback);
const roundHalfUp = (v) => Math.floor(v + 0.5);
const clamp = (v, lo, hi) => Math.min(hi, Math.max(lo, v));

// A binding with every field set: the form the editor works on.
export function makeBinding(fields = {}) {
  return {
    path: fields.path ?? PARAMS[3].path,
    cc: fields.cc ?? 74,
    channel: fields.channel ?? 0, // 0: any channel
    curve: fields.curve ?? 'linear',
    valueMode: fields.valueMode ?? 'absolute',
    takeover: fields.takeover ?? 'none',
    enabled: fields.enabled ?? true,
    min: fields.min, // undefined: the parameter's own range
    max: fields.max,
  };
}

// Bindings of a map document; unusable entries are dropped, as the plug-in
// drops them (no cc, unknown parameter, beyond 64).
export function bindingsOf(map) {
  const list = Array.isArray(map) ? map : isObject(map) ? map.bindings : undefined;
  const bindings = [];
  for (const entry of arr(list, 4096)) {
    if (bindings.length >= MAX_BINDINGS) break;
    if (!isObject(entry) || !paramByPath(entry.path)) continue;
    const cc = num(entry.cc);
    if (cc === undefined) continue;
    const channel = num(entry.channel);
    bindings.push(makeBinding({
      path: entry.path,
      cc: clamp(roundHalfUp(cc), 0, 127),
      channel: channel === undefined ? 0 : clamp(roundHalfUp(channel), 1, 16),
      curve: known(CURVES, entry.curve, 'linear'),
      valueMode: known(VALUE_MODES, entry.valueMode, 'absolute'),
      takeover: known(TAKEOVERS, entry.takeover, 'none'),
      enabled: entry.enabled !== false,
      min: num(entry.min),
      max: num(entry.max),
    }));
  }
  return bindings;
}

// The map document for "orbel.setCcMap"; defaults are left out.
export function mapDocument(bindings) {
  return {
    version: 1,
    bindings: bindings.slice(0, MAX_BINDINGS).map((b) => {
      const out = { cc: b.cc, path: b.path };
      if (b.channel) out.channel = b.channel;
      if (Number.isFinite(b.min)) out.min = b.min;
      if (Number.isFinite(b.max)) out.max = b.max;
      if (b.curve !== 'linear') out.curve = b.curve;
      if (b.valueMode !== 'absolute') out.valueMode = b.valueMode;
      if (b.takeover !== 'none') out.takeover = b.takeover;
      if (!b.enabled) out.enabled = false;
      return out;
    }),
  };
}

// A binding for the next free controller, on a parameter not yet bound if
// there is one.
export function nextBinding(bindings) {
  const boundPaths = new Set(bindings.map((b) => b.path));
  const usedCcs = new Set(bindings.map((b) => b.cc));
  const desc = PARAMS.find((d) => !boundPaths.has(d.path)) ?? PARAMS[0];
  // General-purpose controllers first (20-31, then 102-119), then anything free.
  const candidates = [74, 71, ...Array.from({ length: 12 }, (_, i) => 20 + i), ...Array.from({ length: 18 }, (_, i) => 102 + i)];
  const cc = candidates.find((c) => !usedCcs.has(c)) ?? Array.from({ length: 128 }, (_, i) => i).find((c) => !usedCcs.has(c)) ?? 0;
  return makeBinding({ path: desc.path, cc });
}
