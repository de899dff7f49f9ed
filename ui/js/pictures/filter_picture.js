// The low-pass filter's response: level against frequency (20 Hz to
// 20 kHz on a log scale) for the current cutoff and resonance. With an
// envelope amount, a dashed curve shows where the envelope's peak takes the
// cutoff (the voice moves it by that many octaves at full envelope).
import { formatShortest } from '../format.js';
import { linePath, svg } from '../svg.js';
import { HEIGHT, WIDTH, pictureFrame, placeLabel } from './frame.js';

const F_LOW = 20;
const F_HIGH = 20000;
const DB_TOP = 30;
const DB_BOTTOM = -42;
const VOICE_RATE = 48000;

const xOf = (f) => (Math.log(f / F_LOW) / Math.log(F_HIGH / F_LOW)) * WIDTH;
const yOf = (db) => ((DB_TOP - Math.max(DB_BOTTOM, Math.min(DB_TOP, db))) / (DB_TOP - DB_BOTTOM)) * HEIGHT;

// Level in dB of the voice's two-pole low-pass at frequency f.
export function lowPassDb(f, cutoff, q) {
  const fc = Math.min(Math.max(cutoff, 10), 0.45 * VOICE_RATE);
  const r = f / fc;
  const magnitude = 1 / Math.sqrt((1 - r * r) ** 2 + (r / Math.max(q, 0.0001)) ** 2);
  return 20 * Math.log10(magnitude);
}

function responsePoints(cutoff, q) {
  const points = [];
  for (let i = 0; i <= 200; i += 1) {
    const f = F_LOW * Math.pow(F_HIGH / F_LOW, i / 200);
    points.push([xOf(f), yOf(lowPassDb(f, cutoff, q))]);
  }
  return points;
}

export class FilterPicture {
  constructor(store) {
    this.store = store;
    this.frame = pictureFrame('picture-filter', 'Filter response');
    const grid = this.frame.grid;
    for (const f of [50, 100, 200, 500, 1000, 2000, 5000, 10000]) {
      const major = f === 100 || f === 1000 || f === 10000;
      grid.append(svg('line', { x1: xOf(f), y1: 0, x2: xOf(f), y2: HEIGHT, class: major ? 'picture-grid-major' : '' }));
    }
    grid.append(svg('line', { x1: 0, y1: yOf(0), x2: WIDTH, y2: yOf(0), class: 'picture-axis' }));
    for (const [f, text] of [[100, '100'], [1000, '1k'], [10000, '10k']]) {
      placeLabel(this.frame.labels, text, xOf(f), HEIGHT, 'picture-label-bottom');
    }
    placeLabel(this.frame.labels, '0 dB', 0, yOf(0), 'picture-label-left');
    this.cutoffLabel = placeLabel(this.frame.labels, '', 0, 0, 'picture-label-marker');
    this.sweep = svg('path', { class: 'picture-line-secondary' });
    this.marker = svg('line', { class: 'picture-marker', y1: 0, y2: HEIGHT });
    this.frame.layer.append(this.marker, this.sweep);
    this.element = this.frame.element;
    this.render();
    store.subscribe((path) => {
      if (path.startsWith('filter.')) this.render();
    });
  }

  render() {
    const cutoff = this.store.plainOf('filter.cutoff');
    const q = this.store.plainOf('filter.resonance');
    const amount = this.store.plainOf('filter.envAmount');
    const d = linePath(responsePoints(cutoff, q));
    this.frame.line.setAttribute('d', d);
    this.frame.area.setAttribute('d', `${d} L${WIDTH} ${HEIGHT} L0 ${HEIGHT} Z`);
    const x = xOf(Math.min(Math.max(cutoff, F_LOW), F_HIGH));
    this.marker.setAttribute('x1', x.toFixed(2));
    this.marker.setAttribute('x2', x.toFixed(2));
    this.cutoffLabel.textContent = cutoff >= 1000 ? `${formatShortest(Math.round(cutoff / 10) / 100)} kHz` : `${Math.round(cutoff)} Hz`;
    this.cutoffLabel.style.left = `${((x / WIDTH) * 100).toFixed(2)}%`;
    this.cutoffLabel.classList.toggle('is-flipped', x > WIDTH * 0.8);
    this.sweep.setAttribute('d', amount === 0 ? '' : linePath(responsePoints(cutoff * Math.pow(2, amount), q)));
    const peak = Math.max(0, lowPassDb(cutoff, cutoff, q));
    this.frame.caption.textContent = `Low-pass · ${peak >= 1 ? `+${peak.toFixed(0)} dB peak` : 'no peak'}`;
    this.element.setAttribute('aria-label',
      `Low-pass response: cutoff ${Math.round(cutoff)} hertz, resonance ${q.toFixed(2)}` +
      (amount === 0 ? '' : `, envelope sweeps ${Math.abs(amount).toFixed(1)} octaves ${amount > 0 ? 'up' : 'down'}`));
  }
}
