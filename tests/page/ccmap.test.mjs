// The CC map editor: it shows the plug-in's map, every edit sends a map the
// controller takes as it is (checked with the controller's own reader and
// writer), it follows "orbel.ccMapChanged", and it works from the keyboard.
import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { announcements, launch, openEditor, pageCheck } from './harness.mjs';

let browser;

before(async () => {
  browser = await launch();
});

after(async () => {
  await browser?.close();
});

const field = (page, row, name) => page.locator('.cc-table tbody tr').nth(row).locator(`[data-field="${name}"]`);

async function lastMapText(editor) {
  const texts = (await editor.sentTexts()).filter((t) => JSON.parse(t).type === 'orbel.setCcMap');
  assert.ok(texts.length > 0, 'the editor sent its map');
  return texts.at(-1);
}

// The map as the controller adopts and writes it.
const adopted = (messageText) => pageCheck('ccmap', messageText).trim();

test('the hello\'s map is shown binding by binding', async () => {
  const editor = await openEditor(browser, { hello: 'helloFull' });
  const { page } = editor;
  await page.click('#tab-cc');
  assert.equal(await page.locator('.cc-table tbody tr').count(), 2);
  const rows = [];
  for (const row of [0, 1]) {
    const values = {};
    for (const name of ['path', 'cc', 'channel', 'curve', 'valueMode', 'takeover', 'min', 'max']) {
      values[name] = await field(page, row, name).inputValue();
    }
    values.enabled = await field(page, row, 'enabled').isChecked();
    rows.push(values);
  }
  assert.deepEqual(rows, [
    { path: 'filter.cutoff', cc: '74', channel: '0', curve: 'log', valueMode: 'absolute', takeover: 'pickup', min: '', max: '', enabled: true },
    { path: 'filter.envAmount', cc: '1', channel: '2', curve: 'linear', valueMode: 'absolute', takeover: 'none', min: '-2', max: '4', enabled: false },
  ]);
  await editor.close();
});

test('edits produce a map the controller takes exactly as sent', async () => {
  const editor = await openEditor(browser, { hello: 'helloFresh' });
  const { page } = editor;
  await page.click('#tab-cc');
  assert.ok(await page.locator('.empty-state').isVisible());
  const add = page.getByRole('button', { name: '+ Add binding' });

  await add.click();
  await field(page, 0, 'path').selectOption('filter.cutoff');
  await field(page, 0, 'cc').fill('21');
  await field(page, 0, 'cc').press('Tab');
  await field(page, 0, 'channel').selectOption('3');
  await field(page, 0, 'curve').selectOption('exp');
  await field(page, 0, 'valueMode').selectOption('relative-binary-offset');
  await field(page, 0, 'takeover').selectOption('scaled');
  await field(page, 0, 'min').fill('100');
  await field(page, 0, 'min').press('Tab');
  await field(page, 0, 'max').fill('5000');
  await field(page, 0, 'max').press('Enter');

  await add.click();
  await field(page, 1, 'cc').fill('300'); // more than MIDI has: the top controller
  await field(page, 1, 'cc').press('Tab');
  await page.locator('.cc-table tbody tr').nth(1).locator('.switch').click();

  await add.click();
  await page.getByRole('button', { name: /Remove binding 3/ }).click();

  const expected = {
    version: 1,
    bindings: [
      { cc: 21, path: 'filter.cutoff', channel: 3, min: 100, max: 5000, curve: 'exp', valueMode: 'relative-binary-offset', takeover: 'scaled' },
      { cc: 127, path: 'osc.type', enabled: false },
    ],
  };
  const text = await lastMapText(editor);
  assert.deepEqual(JSON.parse(text), { type: 'orbel.setCcMap', map: expected });
  // The controller keeps every binding and every member: its own writer
  // gives back the very same document.
  assert.equal(adopted(text), JSON.stringify(expected));
  // And no map along the way was one the controller would refuse.
  for (const t of (await editor.sentTexts()).filter((s) => s.includes('orbel.setCcMap'))) {
    assert.doesNotMatch(adopted(t), /^(malformed|no-map)$/, t);
  }
  assert.deepEqual(editor.problems, []);
  await editor.close();
});

test('"orbel.ccMapChanged" replaces the table and keeps the field being edited', async () => {
  const editor = await openEditor(browser, { hello: 'helloFull' });
  const { page } = editor;
  await page.click('#tab-cc');
  await field(page, 1, 'curve').focus();
  await editor.deliver(announcements().get('ccMapChanged'));
  assert.equal(await page.locator('.cc-table tbody tr').count(), 2);
  assert.equal(await field(page, 0, 'path').inputValue(), 'osc.type');
  assert.equal(await field(page, 0, 'valueMode').inputValue(), 'toggle');
  assert.equal(await field(page, 1, 'path').inputValue(), 'master.gain');
  assert.equal(await page.evaluate(() => document.activeElement.dataset.field), 'curve');

  // A map of 70 bindings holds the first 64, as the plug-in keeps them; no more can be added.
  const many = Array.from({ length: 70 }, (_, i) => ({ cc: i, path: 'master.gain' }));
  await editor.deliver(JSON.stringify({ type: 'orbel.ccMapChanged', map: { version: 1, bindings: many } }));
  assert.equal(await page.locator('.cc-table tbody tr').count(), 64);
  assert.ok(await page.getByRole('button', { name: '+ Add binding' }).isDisabled());
  await editor.deliver('{"type":"orbel.ccMapChanged","map":{"version":1,"bindings":[]}}');
  assert.ok(await page.locator('.empty-state').isVisible());
  assert.deepEqual(editor.problems, []);
  await editor.close();
});

test('the editor works from the keyboard alone', async () => {
  const editor = await openEditor(browser, { hello: 'helloFresh' });
  const { page } = editor;
  await page.locator('#tab-synth').focus();
  await page.keyboard.press('ArrowRight'); // to the CC map tab
  assert.ok(await page.locator('#panel-cc').isVisible());
  // Tab from the tab list to the first control of the page.
  for (let i = 0; i < 10 && !(await page.evaluate(() => document.activeElement.textContent === '+ Add binding')); i += 1) {
    await page.keyboard.press('Tab');
  }
  await page.keyboard.press('Enter');
  assert.equal(await page.evaluate(() => document.activeElement.dataset.field), 'path', 'the new binding has the focus');
  await page.keyboard.press('Tab');
  await page.keyboard.press('Tab');
  assert.equal(await page.evaluate(() => document.activeElement.dataset.field), 'channel');
  await page.keyboard.press('Shift+Tab'); // back to the controller number, selected whole
  await page.keyboard.type('7');
  await page.keyboard.press('Tab');
  await page.keyboard.press('ArrowDown'); // channel 1
  const text = await lastMapText(editor);
  assert.equal(adopted(text), '{"version":1,"bindings":[{"cc":7,"path":"osc.type","channel":1}]}');
  await editor.close();
});
