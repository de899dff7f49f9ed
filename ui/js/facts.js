// Definition lists of facts ("Sample rate — 48 kHz") for the report cards.
import { el } from './dom.js';

// rows: [label, value] pairs; empty or undefined values are left out.
export function factList(rows) {
  const list = el('dl', { class: 'facts' });
  for (const [label, value] of rows) {
    if (value === undefined || value === null || value === '') continue;
    list.append(el('div', { class: 'fact' }, el('dt', {}, label), el('dd', {}, value)));
  }
  return list;
}

// A titled card; `live` adds a badge that says the card follows a feed.
export function card(title, className, ...content) {
  return el('section', { class: `card ${className}`, 'aria-label': title },
    el('h3', { class: 'card-title' }, title), ...content);
}
