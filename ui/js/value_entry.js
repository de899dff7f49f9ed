// Typing a value into a knob: Enter on a focused knob (or a double-click on
// its value) opens a small field; Enter or leaving the field sets the value,
// Escape keeps the old one. Text is read the way the host reads parameter
// text: a list's option name, or a number at the start of the text (a unit
// after it is fine: "440 Hz").
import { el } from './dom.js';
import { KIND_LIST } from './params.js';

// The plain value a text names, clamped to the range; undefined when the
// text holds neither an option name nor a number.
export function parseTypedValue(desc, text) {
  const trimmed = text.trim();
  if (desc.kind === KIND_LIST && desc.options) {
    const index = desc.options.indexOf(trimmed);
    if (index >= 0) return index;
  }
  const match = /^[+-]?(\d+\.?\d*|\.\d+)(e[+-]?\d+)?/i.exec(trimmed);
  if (!match) return undefined;
  let value = Math.min(desc.max, Math.max(desc.min, Number(match[0])));
  if (desc.kind === KIND_LIST) value = Math.round(value);
  else if (desc.step) value = desc.step * Math.floor(value / desc.step + 0.5);
  return value;
}

// Opens the field over `output`; `commit(plain)` is called with a good value.
export function openValueEntry(output, desc, text, commit, close) {
  const input = el('input', {
    type: 'text',
    class: 'knob-entry',
    value: text,
    spellcheck: 'false',
    autocomplete: 'off',
    'aria-label': `Type a value for ${desc.name}${desc.units ? ` in ${desc.units}` : ''}`,
  });
  let done = false;
  const finish = (apply) => {
    if (done) return;
    done = true;
    const value = apply ? parseTypedValue(desc, input.value) : undefined;
    input.remove();
    output.hidden = false;
    if (value !== undefined) commit(value);
    close();
  };
  input.addEventListener('keydown', (e) => {
    if (e.key === 'Enter' || e.key === 'Escape') {
      e.preventDefault();
      e.stopPropagation();
      finish(e.key === 'Enter');
    }
  });
  input.addEventListener('blur', () => finish(true));
  output.hidden = true;
  output.after(input);
  input.focus();
  input.select();
}
