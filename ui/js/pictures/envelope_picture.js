// The amplitude envelope as the voice plays it: attack rising to full level,
// decay falling to the sustain level, a held stretch, then release, each an
// exponential segment that settles within its set time. Time runs left to
// right on one linear scale, so a long release looks long.
import { linePath, svg } from '../svg.js';
import { HEIGHT, WIDTH, pictureFrame, placeLabel } from './frame.js';

const TOP = 14;
const BOTTOM = HEIGHT - 14;
const SETTLE = 4.6; // the voice's time constant: a stage settles to 1% in its time
const SEGMENT_POINTS = 48;

const settle = (u) => Math.exp(-SETTLE * u);
const rise = (u) => (1 - settle(u)) / (1 - settle(1));

// x positions of the stage boundaries and the drawing's points.
export function envelopeShape(attack, decay, sustain, release) {
  const active = attack + decay + release;
  const hold = Math.max(active * 0.35, 0.05);
  const total = active + hold;
  const xAt = (t) => (t / total) * WIDTH;
  const yAt = (level) => BOTTOM - (BOTTOM - TOP) * level;
  const bounds = [0, attack, attack + decay, attack + decay + hold, total].map(xAt);
  const points = [[0, yAt(0)]];
  const segment = (x0, x1, level) => {
    for (let i = 1; i <= SEGMENT_POINTS; i += 1) {
      const u = i / SEGMENT_POINTS;
      points.push([x0 + (x1 - x0) * u, yAt(level(u))]);
    }
  };
  segment(bounds[0], bounds[1], (u) => rise(u));
  segment(bounds[1], bounds[2], (u) => sustain + (1 - sustain) * (u === 1 ? 0 : settle(u)));
  points.push([bounds[3], yAt(sustain)]);
  segment(bounds[3], bounds[4], (u) => (u === 1 ? 0 : sustain * settle(u)));
  return { bounds, points, sustainY: yAt(sustain) };
}

export class EnvelopePicture {
  constructor(store) {
    this.store = store;
    this.frame = pictureFrame('picture-envelope', 'Amplitude envelope');
    this.dividers = svg('g', { class: 'picture-dividers' });
    this.sustainLine = svg('line', { class: 'picture-line-secondary', x1: 0, x2: WIDTH });
    this.frame.grid.append(svg('line', { x1: 0, y1: BOTTOM, x2: WIDTH, y2: BOTTOM, class: 'picture-axis' }));
    this.frame.layer.append(this.dividers, this.sustainLine);
    this.element = this.frame.element;
    this.render();
    store.subscribe((path) => {
      if (path.startsWith('ampEnv.')) this.render();
    });
  }

  render() {
    const attack = this.store.plainOf('ampEnv.attack');
    const decay = this.store.plainOf('ampEnv.decay');
    const sustain = this.store.plainOf('ampEnv.sustain');
    const release = this.store.plainOf('ampEnv.release');
    const { bounds, points, sustainY } = envelopeShape(attack, decay, sustain, release);
    const d = linePath(points);
    this.frame.line.setAttribute('d', d);
    this.frame.area.setAttribute('d', `${d} L0 ${BOTTOM} Z`);
    this.sustainLine.setAttribute('y1', sustainY.toFixed(2));
    this.sustainLine.setAttribute('y2', sustainY.toFixed(2));
    this.dividers.replaceChildren(...bounds.slice(1, 4).map((x) =>
      svg('line', { x1: x.toFixed(2), x2: x.toFixed(2), y1: TOP, y2: BOTTOM })));
    this.frame.labels.replaceChildren();
    ['A', 'D', 'S', 'R'].forEach((name, i) => {
      placeLabel(this.frame.labels, name, (bounds[i] + bounds[i + 1]) / 2, HEIGHT, 'picture-label-bottom picture-label-stage');
    });
    this.frame.caption.textContent = `Sustain ${Math.round(sustain * 100)} %`;
    this.element.setAttribute('aria-label',
      `Amplitude envelope: attack ${attack} seconds, decay ${decay} seconds, sustain ${Math.round(sustain * 100)} percent, release ${release} seconds`);
  }
}
