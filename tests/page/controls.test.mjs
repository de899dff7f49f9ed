// Every knob sends what the host must see for each way of playing it: drag
// (and fine drag), wheel, keyboard and double-click, each gesture wrapped in
// beginEdit/endEdit, values in range, whole steps where the parameter has
// them, and shown with the host's own text for the value.
import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { dial, dragKnob, knobState, launch, openEditor, pageCheck } from './harness.mjs';
import { PARAMS } from './params.mjs';

let browser;
let editor;
const shown = []; // [path, value sent last, text shown]

before(async () => {
  browser = await launch();
  editor = await openEditor(browser, { hello: 'helloFresh' });
});

after(async () => {
  await browser?.close();
});

// Checks one gesture's messages and returns the values it set.
function gestureValues(messages, desc) {
  assert.ok(messages.length >= 3, `a gesture on ${desc.path}: ${JSON.stringify(messages)}`);
  assert.deepEqual(messages[0], { type: 'orbel.beginEdit', path: desc.path });
  assert.deepEqual(messages.at(-1), { type: 'orbel.endEdit', path: desc.path });
  const sets = messages.slice(1, -1);
  for (const m of sets) {
    assert.equal(m.type, 'orbel.setParam');
    assert.equal(m.path, desc.path);
    assert.ok(m.value >= desc.min && m.value <= desc.max, `${desc.path} ${m.value} in range`);
    if (desc.whole) assert.ok(Number.isInteger(m.value), `${desc.path} moves in whole steps: ${m.value}`);
  }
  return sets.map((m) => m.value);
}

async function play(desc, gesture) {
  const { page } = editor;
  const d = dial(page, desc.path);
  switch (gesture) {
    case 'drag up': return dragKnob(page, desc.path, 0, -90);
    case 'drag down': return dragKnob(page, desc.path, 0, 90);
    case 'drag right': return dragKnob(page, desc.path, 90, 0);
    case 'wheel up':
    case 'wheel down':
      await d.hover();
      await page.mouse.wheel(0, gesture === 'wheel up' ? -100 : 100);
      return page.waitForFunction((path) => window.__sent.at(-1)?.includes('endEdit') && window.__sent.at(-1).includes(path), desc.path);
    case 'double-click': return d.dblclick();
    default:
      await d.focus();
      return page.keyboard.press(gesture);
  }
}

// gesture, start value (null: the default), what the values must do
const GESTURES = [
  ['drag up', null, (v, start) => v.at(-1) > start],
  ['drag right', null, (v, start) => v.at(-1) > start],
  ['drag down', null, (v, start) => v.at(-1) < start],
  ['wheel up', null, (v, start) => v.length === 1 && v[0] > start],
  ['wheel down', null, (v, start) => v.length === 1 && v[0] < start],
  ['ArrowUp', null, (v, start) => v.length === 1 && v[0] > start],
  ['ArrowLeft', null, (v, start) => v.length === 1 && v[0] < start],
  ['PageUp', null, (v, start) => v.length === 1 && v[0] > start],
  ['Home', null, (v, start, desc) => v.length === 1 && v[0] === desc.min],
  ['End', null, (v, start, desc) => v.length === 1 && v[0] === desc.max],
  ['Delete', 'max', (v, start, desc) => v.length === 1 && v[0] === desc.def],
  ['double-click', 'max', (v, start, desc) => v.length === 1 && v[0] === desc.def],
];

for (const desc of PARAMS) {
  test(`${desc.path}: drag, wheel, keys and double-click send whole gestures`, async () => {
    const { page } = editor;
    for (const [gesture, from, expect] of GESTURES) {
      // Start from the default (or the top of the range) a step away from the ends.
      await dial(page, desc.path).focus();
      await page.keyboard.press(from === 'max' ? 'End' : 'Delete');
      await page.mouse.move(0, 0);
      await editor.clearSent();
      const start = (await knobState(page, desc.path)).value;
      await play(desc, gesture);
      const values = gestureValues(await editor.sent(), desc);
      assert.ok(expect(values, start, desc), `${desc.path} ${gesture} from ${start}: ${values.join(', ')}`);
      const state = await knobState(page, desc.path);
      assert.ok(Math.abs(state.value - values.at(-1)) <= 1e-12 * (desc.max - desc.min),
        `${desc.path} ${gesture}: the knob shows what it sent (${state.value}, sent ${values.at(-1)})`);
      shown.push([desc.path, values.at(-1), state.text]);
    }
  });
}

test("the knobs show the host's own text for every value they sent", () => {
  const units = { 'osc.detune': ' ct', 'filter.cutoff': ' Hz', 'ampEnv.attack': ' s', 'ampEnv.decay': ' s', 'ampEnv.release': ' s' };
  const hostTexts = pageCheck('text', shown.map(([path, value]) => `${path} ${value}\n`).join('')).trimEnd().split('\n');
  shown.forEach(([path, value, text], i) => {
    assert.equal(text, hostTexts[i] + (units[path] ?? ''), `${path} ${value}`);
    assert.ok(text.length <= 10, `short text for ${path}: ${text}`);
  });
});

test('cutoff turns on a logarithmic taper and octave in whole steps', async () => {
  const { page } = editor;
  await dial(page, 'filter.cutoff').focus();
  await page.keyboard.press('Home');
  await editor.clearSent();
  // Half of the knob's travel from 20 Hz: the geometric middle (632 Hz), not 10 kHz.
  const box = await dial(page, 'filter.cutoff').boundingBox();
  const travel = await page.evaluate(() => 280);
  await dragKnob(page, 'filter.cutoff', 0, -travel / 2);
  const cutoff = (await knobState(page, 'filter.cutoff')).value;
  assert.ok(cutoff > 560 && cutoff < 710, `half travel gives ${cutoff} Hz`);
  assert.ok(box.width > 0);

  await dial(page, 'osc.octave').focus();
  await page.keyboard.press('Home');
  await editor.clearSent();
  await dragKnob(page, 'osc.octave', 0, -400);
  const values = gestureValues(await editor.sent(), PARAMS[1]);
  assert.deepEqual(values, [-1, 0, 1, 2], 'every octave once, in order');
});

test('fine adjustment moves a knob a tenth as far', async () => {
  const { page } = editor;
  const moved = async (modifier) => {
    await dial(page, 'osc.detune').focus();
    await page.keyboard.press('Delete');
    await dragKnob(page, 'osc.detune', 0, -50, modifier);
    return (await knobState(page, 'osc.detune')).value;
  };
  const coarse = await moved();
  const fine = await moved('Shift');
  assert.ok(fine > 0 && fine < coarse / 5, `coarse ${coarse} ct, fine ${fine} ct`);
});

test('a held key is one gesture', async () => {
  const { page } = editor;
  await dial(page, 'ampEnv.sustain').focus();
  await page.keyboard.press('Delete');
  await editor.clearSent();
  for (let i = 0; i < 3; i += 1) await page.keyboard.down('ArrowDown');
  await page.keyboard.up('ArrowDown');
  const values = gestureValues(await editor.sent(), PARAMS[8]);
  assert.equal(values.length, 3);
  assert.ok(values[0] > values[1] && values[1] > values[2]);
});

test('a typed value is read the way the host reads parameter text', async () => {
  const { page } = editor;
  // path, typed text, key that closes the field, value sent (undefined: none)
  const cases = [
    ['filter.cutoff', '440 Hz', 'Enter', 440],
    ['filter.cutoff', '1e5', 'Enter', 20000],
    ['osc.type', 'square', 'Enter', 2],
    ['osc.octave', '1.4', 'Enter', 1],
    ['ampEnv.release', '-3', 'Tab', 0],
    ['master.gain', 'loud', 'Enter', undefined],
    ['master.gain', '0.2', 'Escape', undefined],
  ];
  for (const [path, text, key, value] of cases) {
    await dial(page, path).focus();
    await page.keyboard.press('Delete');
    await editor.clearSent();
    await page.keyboard.press('Enter');
    await page.keyboard.type(text);
    await page.keyboard.press(key);
    const sent = await editor.sent();
    if (value === undefined) {
      assert.deepEqual(sent, [], `${path} "${text}" ${key}`);
    } else {
      assert.deepEqual(gestureValues(sent, PARAMS.find((d) => d.path === path)), [value], `${path} "${text}"`);
    }
    assert.equal(await page.locator('.knob-entry').count(), 0, 'the field closes');
  }
});

test('a click without a move sends nothing', async () => {
  const { page } = editor;
  await editor.clearSent();
  await dial(page, 'master.gain').click();
  assert.deepEqual(await editor.sent(), []);
});

test('the controller reads every message the knobs sent', async () => {
  // Everything sent since the page opened, through the controller's parser.
  const texts = await editor.sentTexts();
  const parsed = pageCheck('messages', texts.join('\n') + '\n').trimEnd().split('\n');
  texts.forEach((text, i) => assert.match(parsed[i], /^ok /, text));
  assert.deepEqual(editor.problems, []);
});
