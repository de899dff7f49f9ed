// The eleven parameters as the tests expect them (ranges and defaults of the
// plug-in's table), independent of the page's own copy.
export const PARAMS = [
  { path: 'osc.type', min: 0, max: 3, def: 1, whole: true },
  { path: 'osc.octave', min: -2, max: 2, def: 0, whole: true },
  { path: 'osc.detune', min: -100, max: 100, def: 0 },
  { path: 'filter.cutoff', min: 20, max: 20000, def: 2000 },
  { path: 'filter.resonance', min: 0.1, max: 18, def: 0.7 },
  { path: 'filter.envAmount', min: -8, max: 8, def: 0 },
  { path: 'ampEnv.attack', min: 0, max: 2, def: 0.01 },
  { path: 'ampEnv.decay', min: 0, max: 2, def: 0.2 },
  { path: 'ampEnv.sustain', min: 0, max: 1, def: 0.7 },
  { path: 'ampEnv.release', min: 0, max: 5, def: 0.3 },
  { path: 'master.gain', min: 0, max: 1, def: 0.8 },
];
