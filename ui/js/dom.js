// Small DOM helpers. Text always goes in through textContent, never as HTML,
// so nothing the plug-in or a host reports can turn into markup.

// el('div', {class: 'x', onclick: f, 'aria-label': 'y'}, child, 'text', ...)
export function el(tag, attrs = {}, ...children) {
  const node = document.createElement(tag);
  setAttrs(node, attrs);
  append(node, children);
  return node;
}

export function setAttrs(node, attrs) {
  for (const [key, value] of Object.entries(attrs)) {
    if (value === undefined || value === null || value === false) continue;
    if (key.startsWith('on') && typeof value === 'function') {
      node.addEventListener(key.slice(2), value);
    } else if (key === 'dataset') {
      Object.assign(node.dataset, value);
    } else if (key in node && typeof value !== 'string') {
      node[key] = value;
    } else {
      node.setAttribute(key, value === true ? '' : String(value));
    }
  }
}

export function append(node, children) {
  for (const child of children.flat()) {
    if (child === undefined || child === null || child === false) continue;
    node.append(child instanceof Node ? child : document.createTextNode(String(child)));
  }
}

// Replaces every child of `node`.
export function replaceChildren(node, ...children) {
  node.replaceChildren();
  append(node, children);
}

let idCounter = 0;
// A document-unique id for label and description wiring.
export function uid(prefix) {
  idCounter += 1;
  return `${prefix}-${idCounter}`;
}
