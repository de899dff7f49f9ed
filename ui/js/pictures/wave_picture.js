// The oscillator's wave as it looks: the chosen shape, with more cycles the
// higher the octave. Redrawn whenever wave or octave moves.
import { linePath, svg } from '../svg.js';
import { HEIGHT, WIDTH, pictureFrame } from './frame.js';

const NAMES = ['Sine', 'Saw', 'Square', 'Triangle'];
const MARGIN = 16;

// One cycle of each wave as corner points (phase 0..1, level -1..1); the
// sine is sampled. Jumps are straight vertical edges.
const CORNERS = [
  null,
  [[0, -1], [1, 1], [1, -1]],
  [[0, 1], [0.5, 1], [0.5, -1], [1, -1], [1, 1]],
  [[0, -1], [0.5, 1], [1, -1]],
];

// Drawing points of `cycles` cycles of wave `type` across the picture.
export function wavePoints(type, cycles) {
  const corners = CORNERS[type];
  const raw = [];
  if (!corners) {
    const total = Math.max(16, Math.ceil(96 * cycles));
    for (let i = 0; i <= total; i += 1) raw.push([(i / total) * cycles, Math.sin((2 * Math.PI * i * cycles) / total)]);
  } else {
    for (let k = 0; k < Math.ceil(cycles); k += 1) {
      for (const [phase, level] of corners) raw.push([k + phase, level]);
    }
  }
  const points = [];
  for (let i = 0; i < raw.length; i += 1) {
    const [t, level] = raw[i];
    if (t <= cycles) {
      points.push([t, level]);
      continue;
    }
    // Cut the last segment where the picture ends.
    const [t0, level0] = raw[i - 1];
    points.push([cycles, level0 + ((level - level0) * (cycles - t0)) / (t - t0)]);
    break;
  }
  const mid = HEIGHT / 2;
  const amp = mid - MARGIN;
  return points.map(([t, level]) => [(t / cycles) * WIDTH, mid - amp * level]);
}

export class WavePicture {
  constructor(store) {
    this.store = store;
    this.frame = pictureFrame('picture-wave', 'Oscillator wave shape');
    this.frame.grid.append(svg('line', { x1: 0, y1: HEIGHT / 2, x2: WIDTH, y2: HEIGHT / 2, class: 'picture-axis' }));
    this.element = this.frame.element;
    this.render();
    store.subscribe((path) => {
      if (path === 'osc.type' || path === 'osc.octave') this.render();
    });
  }

  render() {
    const type = this.store.plainOf('osc.type');
    const octave = this.store.plainOf('osc.octave');
    const cycles = 2 * Math.pow(2, octave / 2);
    const points = wavePoints(type, cycles);
    const d = linePath(points);
    this.frame.line.setAttribute('d', d);
    this.frame.area.setAttribute('d', `${d} L${WIDTH} ${HEIGHT / 2} L0 ${HEIGHT / 2} Z`);
    const name = NAMES[type] ?? NAMES[0];
    const octaveText = octave === 0 ? '' : ` · ${octave > 0 ? '+' : '−'}${Math.abs(octave)} oct`;
    this.frame.caption.textContent = `${name}${octaveText}`;
    this.element.setAttribute('aria-label', `Oscillator: ${name.toLowerCase()} wave${octave === 0 ? '' : `, ${octave > 0 ? 'up' : 'down'} ${Math.abs(octave)} octave${Math.abs(octave) === 1 ? '' : 's'}`}`);
  }
}
