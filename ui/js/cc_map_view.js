// The CC map editor: one row per binding (parameter, controller number,
// channel, curve, value mode, takeover, range, on/off). Every committed edit
// sends the whole map with "orbel.setCcMap"; "orbel.ccMapChanged" (and the
// hello's map) bring the page back in line with what the plug-in holds.
import { CURVES, MAX_BINDINGS, TAKEOVERS, VALUE_MODES, bindingsOf, mapDocument, nextBinding } from './cc_map.js';
import { el, replaceChildren } from './dom.js';
import { factList } from './facts.js';
import { PARAMS, paramByPath } from './params.js';
import { formatShortest, withUnit } from './format.js';

const removeLabel = (binding, n) => `Remove binding ${n}: CC ${binding.cc} to ${paramByPath(binding.path).name}`;
const options = (list, selected) => list.map(([value, label]) => el('option', { value, selected: value === selected }, label));

export class CcMapView {
  constructor(container, host) {
    this.host = host;
    this.bindings = [];
    this.rows = el('tbody');
    this.addButton = el('button', { type: 'button', class: 'button button-primary', onclick: () => this.add() }, '+ Add binding');
    this.count = el('p', { class: 'cc-count', 'aria-live': 'polite' });
    this.empty = el('div', { class: 'empty-state' },
      el('p', { class: 'empty-title' }, 'No controllers are mapped yet.'),
      el('p', {}, 'Add a binding to play Mirel from the knobs and faders of your MIDI controller: pick the parameter, the controller number (CC) it sends, and how it should respond.'));
    const head = (text, hint) => el('th', { scope: 'col', title: hint }, text);
    this.table = el('table', { class: 'cc-table' },
      el('caption', { class: 'visually-hidden' }, 'MIDI controller bindings'),
      el('thead', {}, el('tr', {},
        head('On', 'Whether the binding is active'),
        head('Parameter'),
        head('CC', 'Controller number, 0 to 127'),
        head('Channel', 'MIDI channel the binding listens to'),
        head('Curve', 'How the controller travel maps onto the range'),
        head('Mode', 'What the controller sends: absolute positions, relative steps or a toggle'),
        head('Takeover', 'What happens when the controller and the knob disagree'),
        head('Range', 'The part of the parameter range the controller covers; empty for all of it'),
        el('th', { scope: 'col' }, el('span', { class: 'visually-hidden' }, 'Remove')))),
      this.rows);
    container.append(el('div', { class: 'sheet' },
      el('div', { class: 'sheet-head' },
        el('div', {},
          el('h2', { class: 'sheet-title' }, 'MIDI CC map'),
          el('p', { class: 'sheet-hint' }, 'Which controller moves which parameter. Changes apply at once and are saved with your project.')),
        this.addButton),
      el('div', { class: 'cc-scroll' }, this.table),
      this.empty,
      this.count,
      el('section', { class: 'card card-help', 'aria-label': 'How a binding responds' },
        el('h3', { class: 'card-title' }, 'How a binding responds'),
        factList([
          ['Curve', 'Linear follows the controller evenly. Exponential gives finer control at the low end, Logarithmic at the high end, S-curve at both ends.'],
          ['Mode', 'Absolute for knobs and faders that send positions. The relative modes are for endless encoders that send steps, in the encoding your controller uses. Toggle turns a button into a switch between the two ends of the range.'],
          ['Takeover', 'When the controller and the knob disagree: Jump moves the parameter at once, Pick up waits until the controller passes the current value, Scaled closes the gap gradually.'],
          ['Range', "The part of the parameter's range the controller covers, in the parameter's own units (Hz for the cutoff). Leave it empty for the whole range; a start above the end turns the controller around."],
        ]))));
    this.render();
  }

  listen(router) {
    router.on('orbel.ccMapChanged', (message) => this.adopt(message.map));
    router.on('orbel.hello', (message) => {
      if (message.ccMap !== undefined) this.adopt(message.ccMap);
    });
  }

  // Takes the plug-in's map. The echo of the page's own map changes nothing
  // on screen; another map is drawn anew, and a field being edited keeps
  // its focus.
  adopt(map) {
    const bindings = bindingsOf(map);
    if (JSON.stringify(mapDocument(bindings)) === JSON.stringify(mapDocument(this.bindings))) return;
    this.bindings = bindings;
    this.render(this.focusedField());
  }

  focusedField() {
    const active = document.activeElement;
    const row = active?.closest?.('tr');
    if (!row || !this.rows.contains(row) || !active.dataset.field) return undefined;
    return { index: [...this.rows.children].indexOf(row), field: active.dataset.field };
  }

  add() {
    if (this.bindings.length >= MAX_BINDINGS) return;
    this.bindings.push(nextBinding(this.bindings));
    this.commit();
    this.rows.lastElementChild?.querySelector('[data-field="path"]')?.focus();
  }

  remove(index) {
    this.bindings.splice(index, 1);
    this.commit();
    const rows = this.rows.children;
    (rows[Math.min(index, rows.length - 1)]?.querySelector('[data-field="remove"]') ?? this.addButton).focus();
  }

  // Sends the whole map; `redraw` when rows came or went.
  commit(redraw = true) {
    if (redraw) this.render();
    this.host.send({ type: 'orbel.setCcMap', map: mapDocument(this.bindings) });
  }

  // Reads one edited field back into its binding; false when the entry is
  // not usable (the field is then put back as it was).
  update(index, field, input) {
    const binding = this.bindings[index];
    if (!binding) return false;
    switch (field) {
      case 'enabled':
        binding.enabled = input.checked;
        return true;
      case 'cc': {
        const cc = Number(input.value);
        if (input.value.trim() === '' || !Number.isFinite(cc)) return false;
        binding.cc = Math.min(127, Math.max(0, Math.round(cc)));
        return true;
      }
      case 'channel':
        binding.channel = Number(input.value);
        return true;
      case 'min':
      case 'max': {
        const text = input.value.trim();
        const value = Number(text);
        if (text !== '' && !Number.isFinite(value)) return false;
        binding[field] = text === '' ? undefined : value;
        return true;
      }
      case 'path':
        binding.path = input.value;
        binding.min = undefined; // a range in the old parameter's units means nothing here
        binding.max = undefined;
        return true;
      default:
        binding[field] = input.value;
        return true;
    }
  }

  // One committed edit. Only what the edit changes is redrawn, so the
  // focus moves on as the user expects (Tab goes to the next field).
  onChange(index, field, input) {
    const ok = this.update(index, field, input);
    const binding = this.bindings[index];
    const row = this.rows.children[index];
    if (!binding || !row) return;
    if (field === 'path') {
      // Units, range and labels belong to the parameter: the row is new.
      const fresh = this.row(binding, index);
      row.replaceWith(fresh);
      fresh.querySelector('[data-field="path"]').focus();
    } else if (field === 'enabled') {
      row.classList.toggle('is-off', !binding.enabled);
    } else if (field === 'cc') {
      input.value = String(binding.cc);
      row.querySelector('[data-field="remove"]').setAttribute('aria-label', removeLabel(binding, index + 1));
    } else if (!ok) {
      input.value = binding[field] === undefined ? '' : String(binding[field]);
    }
    if (ok) this.commit(false);
  }

  row(binding, index) {
    const desc = paramByPath(binding.path);
    const n = index + 1;
    const field = (name, node) => {
      node.dataset.field = name;
      node.addEventListener('change', () => this.onChange(index, name, node));
      return node;
    };
    const rangeInput = (name, value, bound, label) => field(name, el('input', {
      type: 'number',
      class: 'input input-range',
      step: 'any',
      value: value === undefined ? '' : String(value),
      placeholder: withUnit(formatShortest(bound), desc.units),
      'aria-label': `${label} of binding ${n}${desc.units ? ` in ${desc.units}` : ''}`,
    }));
    const cell = (label, ...content) => el('td', { 'data-label': label }, ...content);
    return el('tr', { class: binding.enabled ? '' : 'is-off' },
      cell('On', el('label', { class: 'switch' },
        field('enabled', el('input', { type: 'checkbox', checked: binding.enabled, 'aria-label': `Binding ${n} on` })),
        el('span', { class: 'switch-track', 'aria-hidden': 'true' }))),
      cell('Parameter', field('path', el('select', { class: 'input', 'aria-label': `Parameter of binding ${n}` },
        PARAMS.map((d) => el('option', { value: d.path, selected: d.path === binding.path }, `${d.group} · ${d.name}`))))),
      cell('CC', field('cc', el('input', {
        type: 'number', class: 'input input-cc', min: '0', max: '127', step: '1', value: String(binding.cc),
        'aria-label': `Controller number of binding ${n}`,
      }))),
      cell('Channel', field('channel', el('select', { class: 'input', 'aria-label': `MIDI channel of binding ${n}` },
        el('option', { value: '0', selected: binding.channel === 0 }, 'Any'),
        Array.from({ length: 16 }, (_, i) => el('option', { value: String(i + 1), selected: binding.channel === i + 1 }, String(i + 1)))))),
      cell('Curve', field('curve', el('select', { class: 'input', 'aria-label': `Curve of binding ${n}` }, options(CURVES, binding.curve)))),
      cell('Mode', field('valueMode', el('select', { class: 'input', 'aria-label': `Value mode of binding ${n}` }, options(VALUE_MODES, binding.valueMode)))),
      cell('Takeover', field('takeover', el('select', { class: 'input', 'aria-label': `Takeover of binding ${n}` }, options(TAKEOVERS, binding.takeover)))),
      cell('Range', el('div', { class: 'range-pair' },
        rangeInput('min', binding.min, desc.min, 'Range start'),
        el('span', { class: 'range-dash', 'aria-hidden': 'true' }, '–'),
        rangeInput('max', binding.max, desc.max, 'Range end'))),
      cell('', field('remove', el('button', {
        type: 'button', class: 'button button-quiet', onclick: () => this.remove(index),
        'aria-label': removeLabel(binding, n), title: 'Remove this binding',
      }, '✕'))));
  }

  render(focus) {
    replaceChildren(this.rows, this.bindings.map((b, i) => this.row(b, i)));
    const count = this.bindings.length;
    this.table.hidden = count === 0;
    this.empty.hidden = count !== 0;
    this.count.textContent = count === 0 ? '' : `${count} of ${MAX_BINDINGS} bindings`;
    this.addButton.disabled = count >= MAX_BINDINGS;
    if (focus) this.restoreFocus(focus);
  }

  restoreFocus({ index, field }) {
    this.rows.children[index]?.querySelector(`[data-field="${field}"]`)?.focus();
  }
}
