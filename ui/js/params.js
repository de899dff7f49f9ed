// The eleven parameters as the plug-in describes them to the host, and the
// host-side conversions between plain values, normalized values and display
// text. These mirror the plug-in's own table and rules exactly, so the page
// shows the same ranges, steps and texts as the host's generic editor and
// its automation lanes.
import { formatShortest, withUnit } from './format.js';

export const KIND_CONTINUOUS = 0;
export const KIND_LIST = 1;
export const KIND_TOGGLE = 2;

const param = (id, path, name, group, kind, min, max, step, def, units, options = null) =>
  Object.freeze({ id, path, name, group, kind, min, max, step, def, units, options });

export const PARAMS = Object.freeze([
  param(0, 'osc.type', 'Wave', 'Oscillator', KIND_LIST, 0, 3, 0, 1, '', Object.freeze(['sine', 'saw', 'square', 'triangle'])),
  param(1, 'osc.octave', 'Octave', 'Oscillator', KIND_CONTINUOUS, -2, 2, 1, 0, ''),
  param(2, 'osc.detune', 'Detune', 'Oscillator', KIND_CONTINUOUS, -100, 100, 0, 0, 'ct'),
  param(3, 'filter.cutoff', 'Cutoff', 'Filter', KIND_CONTINUOUS, 20, 20000, 0, 2000, 'Hz'),
  param(4, 'filter.resonance', 'Resonance', 'Filter', KIND_CONTINUOUS, 0.1, 18, 0, 0.7, ''),
  param(5, 'filter.envAmount', 'Env Amt', 'Filter', KIND_CONTINUOUS, -8, 8, 0, 0, ''),
  param(6, 'ampEnv.attack', 'Attack', 'Amp Env', KIND_CONTINUOUS, 0, 2, 0, 0.01, 's'),
  param(7, 'ampEnv.decay', 'Decay', 'Amp Env', KIND_CONTINUOUS, 0, 2, 0, 0.2, 's'),
  param(8, 'ampEnv.sustain', 'Sustain', 'Amp Env', KIND_CONTINUOUS, 0, 1, 0, 0.7, ''),
  param(9, 'ampEnv.release', 'Release', 'Amp Env', KIND_CONTINUOUS, 0, 5, 0, 0.3, 's'),
  param(10, 'master.gain', 'Gain', 'Master', KIND_CONTINUOUS, 0, 1, 0, 0.8, ''),
]);

const byPath = new Map(PARAMS.map((desc) => [desc.path, desc]));

// The descriptor of an exact path, or undefined.
export function paramByPath(path) {
  return typeof path === 'string' ? byPath.get(path) : undefined;
}

const clamp = (v, lo, hi) => (v < lo ? lo : v > hi ? hi : v);
const listTop = (desc) => (desc.options && desc.options.length > 1 ? desc.options.length - 1 : 0);

function listIndex(desc, normalized) {
  if (Number.isNaN(normalized)) return 0;
  const n = listTop(desc);
  return clamp(Math.floor(n * normalized + 0.5), 0, n);
}

// Normalized (0..1) to plain, clamped and stepped.
export function toPlain(desc, normalized) {
  switch (desc.kind) {
    case KIND_LIST:
      return listIndex(desc, normalized);
    case KIND_TOGGLE:
      return normalized >= 0.5 ? 1 : 0;
    default: {
      const x = Number.isNaN(normalized) ? 0 : clamp(normalized, 0, 1);
      let v = desc.min + x * (desc.max - desc.min);
      if (desc.step !== 0) v = desc.step * Math.floor(v / desc.step + 0.5);
      return v;
    }
  }
}

// Plain to normalized, clamped.
export function normalize(desc, plain) {
  if (Number.isNaN(plain)) return 0;
  switch (desc.kind) {
    case KIND_LIST: {
      const n = listTop(desc);
      return n === 0 ? 0 : clamp(plain, 0, n) / n;
    }
    case KIND_TOGGLE:
      return plain === 0 ? 0 : 1;
    default:
      if (desc.min === desc.max) return 0;
      return clamp((plain - desc.min) / (desc.max - desc.min), 0, 1);
  }
}

// The host's display text of a normalized value, without unit.
export function textOf(desc, normalized) {
  if (desc.kind === KIND_LIST && desc.options) return desc.options[listIndex(desc, normalized)] ?? '';
  if (desc.kind === KIND_TOGGLE) return normalized >= 0.5 ? 'on' : 'off';
  const text = formatShortest(toPlain(desc, normalized));
  return text === '-0' ? '0' : text;
}

// The display text with the parameter's unit: "2000 Hz".
export function displayOf(desc, normalized) {
  return withUnit(textOf(desc, normalized), desc.units);
}

// The plain value the host ends up with when the page sends `plain`.
export function settledPlain(desc, plain) {
  return toPlain(desc, normalize(desc, plain));
}
