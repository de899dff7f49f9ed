// The frame every picture is drawn in: an SVG stretched over its box (lines
// keep their width), with a gradient fill and HTML labels placed in percent.
import { el } from '../dom.js';
import { svg } from '../svg.js';

export const WIDTH = 400;
export const HEIGHT = 140;

let gradientCounter = 0;

export function pictureFrame(className, label) {
  gradientCounter += 1;
  const gradientId = `picture-fill-${gradientCounter}`;
  const defs = svg('defs', {},
    svg('linearGradient', { id: gradientId, x1: 0, y1: 0, x2: 0, y2: 1 },
      svg('stop', { offset: '0%', class: 'picture-fill-top' }),
      svg('stop', { offset: '100%', class: 'picture-fill-bottom' })));
  const grid = svg('g', { class: 'picture-grid' });
  const layer = svg('g', {});
  const area = svg('path', { class: 'picture-area', fill: `url(#${gradientId})` });
  const line = svg('path', { class: 'picture-line' });
  const drawing = svg('svg', {
    viewBox: `0 0 ${WIDTH} ${HEIGHT}`,
    preserveAspectRatio: 'none',
    'aria-hidden': 'true',
    focusable: 'false',
  }, defs, grid, area, layer, line);
  const labels = el('div', { class: 'picture-labels', 'aria-hidden': 'true' });
  const caption = el('span', { class: 'picture-caption' });
  const element = el('figure', { class: `picture ${className}`, role: 'img', 'aria-label': label },
    drawing, labels, caption);
  return { element, grid, layer, area, line, labels, caption };
}

// A label at x (0..WIDTH) and y (0..HEIGHT) of the drawing.
export function placeLabel(labels, text, x, y, className = '') {
  return labels.appendChild(el('span', {
    class: `picture-label ${className}`,
    style: `left:${((x / WIDTH) * 100).toFixed(2)}%;top:${((y / HEIGHT) * 100).toFixed(2)}%`,
  }, text));
}
