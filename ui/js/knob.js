// One parameter as a knob that plays like a synth's:
//   drag up or right to raise, down or left to lower (Shift or Ctrl for fine);
//   the mouse wheel (Shift for fine); double-click or Delete for the default;
//   arrows step, Page Up/Down jump, Home/End go to the ends (Shift for fine).
//   Enter (or a double-click on the value) to type a value.
// Every gesture goes through the edit session, so the host sees beginEdit,
// setParam and endEdit around it. The knob is an ARIA slider.
import { el, uid } from './dom.js';
import { KIND_LIST, displayOf, normalize, paramByPath, textOf } from './params.js';
import { arcPath, polar, svg } from './svg.js';
import { isStepped, niceValue, plainAt, positionOf, stepCount, steppedFrom } from './taper.js';
import { openValueEntry } from './value_entry.js';

const SWEEP = 135; // degrees each side of the top
const DRAG_PIXELS = 280; // travel of a full turn
const FINE_FACTOR = 10;
const KEY_FRACTION = 0.01;
const PAGE_STEPS = 10;
const WHEEL_FRACTION = 0.02;
const WHEEL_IDLE_MS = 400;

const angleAt = (position) => -SWEEP + 2 * SWEEP * position;

export class Knob {
  constructor(path, store, session, options = {}) {
    this.desc = paramByPath(path);
    this.store = store;
    this.session = session;
    this.bipolar = this.desc.min < 0 && this.desc.max > 0;
    this.drag = null;
    this.wheelTimer = 0;
    this.keyHeld = false;
    this.element = this.build(options);
    this.render();
    store.subscribe((changed) => {
      if (changed === path) this.render();
    });
  }

  get plain() {
    return this.store.plainOf(this.desc.path);
  }

  build({ size = 'normal' }) {
    const labelId = uid('knob-label');
    const valueId = uid('knob-value');
    this.track = svg('path', { class: 'knob-track', d: arcPath(50, 50, 40, -SWEEP, SWEEP) });
    this.arc = svg('path', { class: 'knob-arc' });
    this.pointer = svg('line', { class: 'knob-pointer', x1: 50, y1: 37, x2: 50, y2: 24 });
    const ticks = svg('g', { class: 'knob-ticks' });
    const steps = stepCount(this.desc);
    const tickCount = steps > 0 ? steps : this.bipolar ? 2 : 10;
    for (let i = 0; i <= tickCount; i += 1) {
      const angle = angleAt(i / tickCount);
      const [x0, y0] = polar(50, 50, 46, angle);
      const [x1, y1] = polar(50, 50, steps > 0 || (this.bipolar && i === 1) ? 50 : 48.5, angle);
      ticks.append(svg('line', { x1: x0, y1: y0, x2: x1, y2: y1 }));
    }
    const face = svg(
      'svg',
      { viewBox: '0 0 100 100', 'aria-hidden': 'true', focusable: 'false' },
      ticks,
      this.track,
      this.arc,
      svg('circle', { class: 'knob-cap', cx: 50, cy: 50, r: 30 }),
      svg('circle', { class: 'knob-cap-ring', cx: 50, cy: 50, r: 30 }),
      this.pointer,
    );
    this.dial = el('div', {
      class: 'knob-dial',
      role: 'slider',
      tabindex: '0',
      'aria-labelledby': labelId,
      'aria-describedby': valueId,
      'aria-valuemin': String(this.desc.min),
      'aria-valuemax': String(this.desc.max),
      title: `${this.desc.name}: drag, scroll or use the arrow keys (Shift for fine steps); double-click for the default; Enter to type a value`,
    }, face);
    this.valueText = el('output', { class: 'knob-value', id: valueId });
    const element = el('div', { class: `knob knob-${size}`, dataset: { path: this.desc.path } },
      this.dial,
      el('div', { class: 'knob-label', id: labelId }, this.desc.name),
      this.valueText);

    this.dial.addEventListener('pointerdown', (e) => this.onPointerDown(e));
    this.dial.addEventListener('pointermove', (e) => this.onPointerMove(e));
    this.dial.addEventListener('pointerup', (e) => this.onPointerUp(e));
    this.dial.addEventListener('pointercancel', (e) => this.onPointerUp(e));
    this.dial.addEventListener('lostpointercapture', (e) => this.onPointerUp(e));
    this.dial.addEventListener('dblclick', (e) => {
      e.preventDefault();
      this.resetToDefault();
    });
    this.dial.addEventListener('wheel', (e) => this.onWheel(e), { passive: false });
    this.dial.addEventListener('keydown', (e) => this.onKeyDown(e));
    this.valueText.addEventListener('dblclick', () => this.typeValue());
    this.dial.addEventListener('keyup', () => this.onKeyUp());
    this.dial.addEventListener('blur', () => this.onKeyUp());
    return element;
  }

  render() {
    const normalized = this.store.normalizedOf(this.desc.path);
    const plain = this.plain;
    const position = positionOf(this.desc, plain);
    const angle = angleAt(position);
    const origin = this.bipolar ? angleAt(positionOf(this.desc, 0)) : -SWEEP;
    this.arc.setAttribute('d', arcPath(50, 50, 40, origin, angle));
    this.pointer.setAttribute('transform', `rotate(${angle.toFixed(2)} 50 50)`);
    const text = displayOf(this.desc, normalized);
    this.valueText.textContent = text;
    this.valueText.title = text;
    this.dial.setAttribute('aria-valuenow', String(plain));
    this.dial.setAttribute('aria-valuetext', this.desc.kind === KIND_LIST ? textOf(this.desc, normalized) : text);
  }

  // Sends a new value unless the host would end up where it already is.
  change(plain) {
    if (normalize(this.desc, plain) !== this.store.normalizedOf(this.desc.path)) this.session.set(this.desc.path, plain);
  }

  typeValue() {
    openValueEntry(this.valueText, this.desc, textOf(this.desc, this.store.normalizedOf(this.desc.path)), (plain) => {
      this.session.set(this.desc.path, plain);
      this.session.end(this.desc.path);
    }, () => this.dial.focus({ preventScroll: true }));
  }

  resetToDefault() {
    this.session.set(this.desc.path, this.desc.def);
    this.session.end(this.desc.path);
  }

  onPointerDown(e) {
    if (e.button !== 0) return;
    e.preventDefault();
    this.dial.focus({ preventScroll: true });
    this.dial.setPointerCapture?.(e.pointerId);
    this.drag = { id: e.pointerId, x: e.clientX, y: e.clientY, position: positionOf(this.desc, this.plain) };
    this.element.classList.add('is-dragging');
  }

  onPointerMove(e) {
    const drag = this.drag;
    if (!drag || e.pointerId !== drag.id) return;
    const fine = e.shiftKey || e.ctrlKey || e.metaKey;
    const moved = drag.y - e.clientY + (e.clientX - drag.x);
    drag.x = e.clientX;
    drag.y = e.clientY;
    drag.position = Math.min(1, Math.max(0, drag.position + moved / (DRAG_PIXELS * (fine ? FINE_FACTOR : 1))));
    const target = plainAt(this.desc, drag.position);
    this.change(isStepped(this.desc) ? niceValue(this.desc, target) : niceValue(this.desc, target, fine));
  }

  onPointerUp(e) {
    if (!this.drag || e.pointerId !== this.drag.id) return;
    this.drag = null;
    this.element.classList.remove('is-dragging');
    this.session.end(this.desc.path);
  }

  onWheel(e) {
    e.preventDefault();
    const pixels = e.deltaMode === 1 ? e.deltaY * 33 : e.deltaMode === 2 ? e.deltaY * 400 : e.deltaY;
    if (pixels === 0) return;
    const fine = e.shiftKey || e.ctrlKey || e.metaKey;
    let steps = -pixels / 100;
    if (isStepped(this.desc)) {
      // One detent per notch, however the wheel reports it.
      this.wheelRest = (this.wheelRest ?? 0) + steps;
      steps = Math.trunc(this.wheelRest);
      this.wheelRest -= steps;
      if (steps === 0) return;
    }
    this.change(steppedFrom(this.desc, this.plain, steps, WHEEL_FRACTION / (fine ? FINE_FACTOR : 1), fine));
    clearTimeout(this.wheelTimer);
    this.wheelTimer = setTimeout(() => this.session.end(this.desc.path), WHEEL_IDLE_MS);
  }

  onKeyDown(e) {
    const fine = e.shiftKey;
    const fraction = KEY_FRACTION / (fine ? FINE_FACTOR : 1);
    let target;
    switch (e.key) {
      case 'ArrowUp':
      case 'ArrowRight':
        target = steppedFrom(this.desc, this.plain, 1, fraction, fine);
        break;
      case 'ArrowDown':
      case 'ArrowLeft':
        target = steppedFrom(this.desc, this.plain, -1, fraction, fine);
        break;
      case 'PageUp':
        target = steppedFrom(this.desc, this.plain, isStepped(this.desc) ? 1 : PAGE_STEPS, KEY_FRACTION);
        break;
      case 'PageDown':
        target = steppedFrom(this.desc, this.plain, isStepped(this.desc) ? -1 : -PAGE_STEPS, KEY_FRACTION);
        break;
      case 'Home':
        target = this.desc.min;
        break;
      case 'End':
        target = this.desc.max;
        break;
      case 'Delete':
      case 'Backspace':
        target = this.desc.def;
        break;
      case 'Enter':
        e.preventDefault();
        this.typeValue();
        return;
      default:
        return;
    }
    e.preventDefault();
    this.keyHeld = true;
    this.change(target);
  }

  onKeyUp() {
    if (!this.keyHeld) return;
    this.keyHeld = false;
    this.session.end(this.desc.path);
  }
}
