// How a knob's travel maps onto a parameter, and which values a gesture
// lands on. This is the page's feel only: the host's normalized mapping
// stays linear. Cutoff turns on a logarithmic taper (each stretch of travel
// is the same musical interval), the envelope times on a square-law taper
// (fine control of short times), octave and wave in whole steps.
import { KIND_LIST, settledPlain } from './params.js';

const clamp = (v, lo, hi) => (v < lo ? lo : v > hi ? hi : v);

const TAPERS = {
  'filter.cutoff': 'log',
  'ampEnv.attack': 'square',
  'ampEnv.decay': 'square',
  'ampEnv.release': 'square',
};

export function taperOf(desc) {
  return TAPERS[desc.path] ?? 'linear';
}

// Whole steps: a list, or a continuous parameter with a step.
export function isStepped(desc) {
  return desc.kind === KIND_LIST || desc.step !== 0;
}

// Number of whole steps across the range (0 for smooth parameters).
export function stepCount(desc) {
  if (desc.kind === KIND_LIST) return desc.options.length - 1;
  return desc.step !== 0 ? Math.round((desc.max - desc.min) / desc.step) : 0;
}

// Knob position 0..1 to plain value (not yet rounded to a nice value).
export function plainAt(desc, position) {
  const p = clamp(Number.isFinite(position) ? position : 0, 0, 1);
  switch (taperOf(desc)) {
    case 'log':
      return desc.min * Math.pow(desc.max / desc.min, p);
    case 'square':
      return desc.min + (desc.max - desc.min) * p * p;
    default:
      return desc.min + (desc.max - desc.min) * p;
  }
}

// Plain value to knob position 0..1.
export function positionOf(desc, plain) {
  const v = clamp(Number.isFinite(plain) ? plain : desc.min, desc.min, desc.max);
  switch (taperOf(desc)) {
    case 'log':
      return Math.log(v / desc.min) / Math.log(desc.max / desc.min);
    case 'square':
      return Math.sqrt((v - desc.min) / (desc.max - desc.min));
    default:
      return (v - desc.min) / (desc.max - desc.min);
  }
}

// The grid a gesture snaps to near `plain`; `fine` is the fine-adjust grid.
function gridOf(desc, plain, fine) {
  if (isStepped(desc)) return desc.kind === KIND_LIST ? 1 : desc.step;
  const scale = fine ? 0.1 : 1;
  switch (desc.path) {
    case 'filter.cutoff': {
      // Three significant digits (four when fine): 52.3, 441, 2340, 12300 Hz.
      const magnitude = Math.pow(10, Math.floor(Math.log10(Math.max(plain, desc.min))) - 2);
      return magnitude * scale;
    }
    case 'osc.detune':
      return 0.1 * scale;
    case 'ampEnv.attack':
    case 'ampEnv.decay':
    case 'ampEnv.release':
      return plain >= 1 ? 0.01 : 0.001; // 1 ms is as fine as anyone hears
    default:
      return 0.01 * scale;
  }
}

// Rounds to a multiple of `grid` and drops binary noise (0.1 + 0.2).
function snap(value, grid) {
  return Number((Math.round(value / grid) * grid).toPrecision(12));
}

// The value a gesture should send for a target plain value: on the grid, in
// range, and one the host's round trip (plain → normalized → plain) keeps
// exactly, so the host shows the same short text ("441 Hz", not
// "440.99999999999994 Hz"). When no grid value near the target survives, a
// neighbour on the grid is taken, else a value with a digit or two more.
// Near the middle of a range around zero (Env Amt, Detune) some targets have
// no short exact value at all; they are sent as they are and shown with the
// host's longer text.
export function niceValue(desc, plain, fine = false) {
  const target = clamp(Number.isFinite(plain) ? plain : desc.min, desc.min, desc.max);
  const grid = gridOf(desc, target, fine);
  const base = clamp(snap(target, grid), desc.min, desc.max);
  if (isStepped(desc)) return base;
  const exact = (v) => v >= desc.min && v <= desc.max && settledPlain(desc, v) === v;
  if (exact(base)) return base;
  const coarse = (k) => [snap(base + k * grid, grid), snap(base - k * grid, grid)].find(exact);
  const finer = (sub) => {
    const step = grid / sub;
    for (let k = 0; k <= sub / 2; k += 1) {
      const found = [snap(base + k * step, step), snap(base - k * step, step)].find(exact);
      if (found !== undefined) return found;
    }
    return undefined;
  };
  return coarse(1) ?? finer(10) ?? finer(100) ?? coarse(2) ?? coarse(3) ?? base;
}

// The value `steps` keyboard or wheel steps away from `plain`. A smooth
// parameter moves by `fraction` of the knob's travel per step, and always by
// at least one grid step, so a key press is never lost to rounding.
export function steppedFrom(desc, plain, steps, fraction, fine = false) {
  if (isStepped(desc)) {
    const grid = gridOf(desc, plain, false);
    return clamp(snap(plain + steps * grid, grid), desc.min, desc.max);
  }
  const moved = niceValue(desc, plainAt(desc, positionOf(desc, plain) + steps * fraction), fine);
  if (settledPlain(desc, moved) !== settledPlain(desc, plain) || steps === 0) return moved;
  const grid = gridOf(desc, plain, fine);
  return niceValue(desc, plain + Math.sign(steps) * grid, fine);
}
