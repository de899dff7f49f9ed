// The synth itself: oscillator, filter and amplifier, each with its knobs
// and its picture, laid out like the front panel of a small monosynth.
import { el } from './dom.js';
import { Knob } from './knob.js';
import { EnvelopePicture } from './pictures/envelope_picture.js';
import { FilterPicture } from './pictures/filter_picture.js';
import { WavePicture } from './pictures/wave_picture.js';

function section(name, className, knobs, picture) {
  const headingId = `section-${className}`;
  return el('section', { class: `synth-section ${className}`, 'aria-labelledby': headingId },
    el('h2', { class: 'section-title', id: headingId }, name),
    el('div', { class: 'section-body' },
      el('div', { class: 'knob-row' }, knobs),
      picture));
}

export function buildSynthView(container, store, session) {
  const knob = (path, options) => new Knob(path, store, session, options).element;
  const amp = el('div', { class: 'knob-row' },
    knob('ampEnv.attack'), knob('ampEnv.decay'), knob('ampEnv.sustain'), knob('ampEnv.release'),
    el('div', { class: 'knob-divider', role: 'presentation' }),
    el('div', { class: 'knob-group-master' }, knob('master.gain')));
  const ampSection = el('section', { class: 'synth-section section-amp', 'aria-labelledby': 'section-amp-title' },
    el('h2', { class: 'section-title', id: 'section-amp-title' }, 'Amplifier'),
    el('div', { class: 'section-body' }, amp, new EnvelopePicture(store).element));
  container.append(el('div', { class: 'synth-grid' },
    section('Oscillator', 'section-osc', [knob('osc.type'), knob('osc.octave'), knob('osc.detune')], new WavePicture(store).element),
    section('Filter', 'section-filter', [knob('filter.cutoff'), knob('filter.resonance'), knob('filter.envAmount')], new FilterPicture(store).element),
    ampSection));
}
