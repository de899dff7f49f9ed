// index.html names every module of the page as a modulepreload, so the web
// view fetches them all at once instead of one import level after another
// (the editor opens that much sooner); and it names nothing that is gone.
import assert from 'node:assert/strict';
import { readFileSync, readdirSync } from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';

const UI = process.env.ORBEL_UI_DIR;

function modules(dir, prefix = 'js') {
  const out = [];
  for (const entry of readdirSync(path.join(dir, prefix), { withFileTypes: true })) {
    const name = `${prefix}/${entry.name}`;
    if (entry.isDirectory()) out.push(...modules(dir, name));
    else if (entry.name.endsWith('.js')) out.push(name);
  }
  return out;
}

test('every module is preloaded, and only modules that exist', () => {
  assert.ok(UI, 'ORBEL_UI_DIR is set');
  const html = readFileSync(path.join(UI, 'index.html'), 'utf8');
  const preloaded = [...html.matchAll(/<link rel="modulepreload" href="([^"]+)">/g)].map((m) => m[1]).sort();
  assert.deepEqual(preloaded, modules(UI).sort());
});
