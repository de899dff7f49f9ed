// SVG building blocks shared by the knobs and the pictures.
const NS = 'http://www.w3.org/2000/svg';

export function svg(tag, attrs = {}, ...children) {
  const node = document.createElementNS(NS, tag);
  for (const [key, value] of Object.entries(attrs)) {
    if (value !== undefined && value !== null) node.setAttribute(key, String(value));
  }
  for (const child of children) if (child) node.append(child);
  return node;
}

const round = (v) => Math.round(v * 100) / 100;

// "M x y L x y ..." through the points.
export function linePath(points) {
  return points.map(([x, y], i) => `${i === 0 ? 'M' : 'L'}${round(x)} ${round(y)}`).join(' ');
}

// A point on a circle; angle in degrees, 0 at the top, clockwise.
export function polar(cx, cy, r, angle) {
  const rad = ((angle - 90) * Math.PI) / 180;
  return [cx + r * Math.cos(rad), cy + r * Math.sin(rad)];
}

// A circular arc from angle a to angle b (degrees, clockwise when b > a).
export function arcPath(cx, cy, r, a, b) {
  const from = Math.min(a, b);
  const to = Math.max(a, b);
  if (to - from < 0.01) return '';
  const [x0, y0] = polar(cx, cy, r, from);
  const [x1, y1] = polar(cx, cy, r, to);
  const large = to - from > 180 ? 1 : 0;
  return `M${round(x0)} ${round(y0)} A${r} ${r} 0 ${large} 1 ${round(x1)} ${round(y1)}`;
}
