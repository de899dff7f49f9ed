// What the plug-in announces moves the page: the hello draws every
// parameter, "orbel.paramChanged" moves its knob (with the host's text) and
// its picture, a knob under the user's hand is not pulled back by its own
// echo, and nothing malformed or unexpected breaks the page.
import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { announcements, dial, dragKnob, knobState, launch, openEditor, pageCheck } from './harness.mjs';
import { PARAMS } from './params.mjs';

let browser;

before(async () => {
  browser = await launch();
});

after(async () => {
  await browser?.close();
});

const UNITS = { 'osc.detune': ' ct', 'filter.cutoff': ' Hz', 'ampEnv.attack': ' s', 'ampEnv.decay': ' s', 'ampEnv.release': ' s' };

test('the hello draws every parameter, and the page announced itself first', async () => {
  const editor = await openEditor(browser, { hello: 'helloFull' });
  const { page } = editor;
  assert.deepEqual((await editor.sent())[0], { type: 'orbel.ready' });
  const hello = JSON.parse(announcements().get('helloFull'));
  for (const { path, value } of hello.params) {
    assert.equal((await knobState(page, path)).value, value, path);
  }
  assert.equal((await knobState(page, 'osc.type')).text, 'triangle');
  assert.equal((await knobState(page, 'filter.cutoff')).text, '880 Hz');
  assert.match(await page.locator('#link').textContent(), /Mirel 0\.0\.0/);
  assert.deepEqual(editor.outside, [], 'the page loads nothing from outside its folder');
  assert.deepEqual(editor.problems, []);
  await editor.close();
});

test('each "orbel.paramChanged" moves its knob to the host\'s value and text', async () => {
  const editor = await openEditor(browser, { hello: 'helloFresh' });
  const { page } = editor;
  const lines = [];
  for (const { path } of PARAMS) {
    const json = announcements().get(`paramChanged:${path}`);
    await editor.deliver(json);
    const state = await knobState(page, path);
    const { value } = JSON.parse(json);
    assert.equal(state.value, value, path);
    lines.push([path, value, state.text]);
  }
  const host = pageCheck('text', lines.map(([path, value]) => `${path} ${value}\n`).join('')).trimEnd().split('\n');
  lines.forEach(([path, , text], i) => assert.equal(text, host[i] + (UNITS[path] ?? ''), path));
  assert.deepEqual(await editor.sent(), [{ type: 'orbel.ready' }], 'announcements are not echoed back');
  await editor.close();
});

test('the pictures redraw as their values move', async () => {
  const editor = await openEditor(browser, { hello: 'helloFresh' });
  const { page } = editor;
  const shape = (name) => page.locator(`.picture-${name} .picture-line`).getAttribute('d');
  for (const [name, path, normalized] of [
    ['wave', 'osc.type', 0], ['wave', 'osc.octave', 1], ['filter', 'filter.cutoff', 0.5], ['filter', 'filter.resonance', 1],
    ['envelope', 'ampEnv.attack', 0.5], ['envelope', 'ampEnv.sustain', 0.1], ['envelope', 'ampEnv.release', 1],
  ]) {
    const before = await shape(name);
    await editor.deliver(JSON.stringify({ type: 'orbel.paramChanged', path, normalized }));
    assert.notEqual(await shape(name), before, `${name} follows ${path}`);
  }
  // A wave picture names what it shows.
  assert.equal(await page.locator('.picture-wave').getAttribute('aria-label'), 'Oscillator: sine wave, up 2 octaves');
  await editor.close();
});

test('a dragged knob is not pulled back by its own echo', async () => {
  const editor = await openEditor(browser, { hello: 'helloFresh', clock: true });
  const { page } = editor;
  // Time stands still until the test moves it on.
  await page.clock.pauseAt(Date.now() + 60000);
  const box = await dial(page, 'master.gain').boundingBox();
  const x = box.x + box.width / 2;
  const y = box.y + box.height / 2;
  await editor.clearSent();
  await page.mouse.move(x, y);
  await page.mouse.down();
  await page.mouse.move(x, y + 60, { steps: 4 });
  const held = (await knobState(page, 'master.gain')).value;
  assert.ok(held < 0.8);
  // A late host report of the value before the gesture, and one of its own values.
  await editor.deliver('{"type":"orbel.paramChanged","path":"master.gain","value":0.8,"normalized":0.8}');
  const sent = (await editor.sent()).filter((m) => m.type === 'orbel.setParam');
  await editor.deliver(JSON.stringify({ type: 'orbel.paramChanged', path: 'master.gain', value: sent[0].value, normalized: sent[0].value }));
  assert.equal((await knobState(page, 'master.gain')).value, held, 'still where the hand is');
  await page.mouse.move(x, y + 80, { steps: 2 });
  await page.mouse.up();
  const released = (await knobState(page, 'master.gain')).value;
  // The host echoing a value the gesture sent, just after the release.
  await editor.deliver(JSON.stringify({ type: 'orbel.paramChanged', path: 'master.gain', value: sent[0].value, normalized: sent[0].value }));
  assert.equal((await knobState(page, 'master.gain')).value, released);
  // Host automation right after the gesture, and later, does move it.
  await editor.deliver('{"type":"orbel.paramChanged","path":"master.gain","value":0.25,"normalized":0.25}');
  assert.equal((await knobState(page, 'master.gain')).value, 0.25);
  await page.clock.runFor(600);
  await editor.deliver(JSON.stringify({ type: 'orbel.paramChanged', path: 'master.gain', value: sent[0].value, normalized: sent[0].value }));
  assert.equal((await knobState(page, 'master.gain')).value, sent[0].value);
  // Another knob is never held back by this one's gesture.
  await editor.deliver('{"type":"orbel.paramChanged","path":"ampEnv.decay","value":1,"normalized":0.5}');
  assert.equal((await knobState(page, 'ampEnv.decay')).value, 1);
  await editor.close();
});

// Texts a sink might deliver, none of them what the page expects.
const MALFORMED = [
  'null', '42', '"orbel.hello"', '[]', '[{"type":"orbel.paramChanged"}]', '{}', '{"type":42}',
  '{"type":"orbel.unknown","x":1}',
  '{"type":"orbel.paramChanged"}',
  '{"type":"orbel.paramChanged","path":"filter.cutoff"}',
  '{"type":"orbel.paramChanged","path":"filter.cutoff","value":"loud","normalized":{}}',
  '{"type":"orbel.paramChanged","path":"filter.cutoff","value":1e308,"normalized":null}',
  '{"type":"orbel.paramChanged","path":"osc.typeX","value":1,"normalized":1}',
  '{"type":"orbel.paramChanged","path":"__proto__","value":1,"normalized":1}',
  '{"type":"orbel.paramChanged","path":{"toString":1},"value":1}',
  '{"type":"orbel.hello"}',
  '{"type":"orbel.hello","params":{"length":5},"plugin":"x","identity":[],"host":7,"ccMap":"none","runtimeHealth":[1]}',
  '{"type":"orbel.hello","params":[null,1,{"path":"master.gain","normalized":-5},{"path":"master.gain","value":"0.1"}],"presetState":null}',
  '{"type":"orbel.ccMapChanged"}',
  '{"type":"orbel.ccMapChanged","map":{"bindings":[{"cc":"74","path":"filter.cutoff"},{"cc":1},{"path":"nope","cc":2},7,null]}}',
  '{"type":"orbel.ccMapChanged","map":[{"cc":1e9,"path":"master.gain","channel":-3,"curve":5,"min":"x"}]}',
  '{"type":"orbel.runtimeDiagnostics","report":"broken"}',
  '{"type":"orbel.runtimeDiagnostics","report":{"status":7,"diagnostics":[null,{"code":{}},{"severity":"fatal","context":[]}],"counters":null}}',
  '{"type":"orbel.lifecycle","events":"many"}',
  '{"type":"orbel.lifecycle","events":[{"seq":"1"},{"seq":2,"kind":7,"detail":"x"},{"seq":3,"kind":"tempoChanged","detail":{"tempo":"fast"}},null],"dropped":"x"}',
  '{"type":"orbel.hostChanged","host":{"sampleRate":"fast","buses":{"length":2}},"event":null}',
  '{"type":"orbel.transport","frame":{"state":null,"capabilities":7}}',
  '{"type":"orbel.transport","frame":{"state":{"playing":true,"tempo":null,"timeSignature":{"numerator":0,"denominator":0},"ppqPosition":1e300,"barPositionPpq":-1}}}',
  '{"type":"orbel.bankState","runtime":[],"presets":{"bankScoped":true,"items":[{"id":5},{"id":"a","params":null},null]},"pads":[],"error":"x"}',
  '{"type":"orbel.folderPicked","ok":true}',
  '{"type":"orbel.state","state":null}',
];

test('malformed or unexpected announcements never break the page', async () => {
  const editor = await openEditor(browser, { hello: 'helloFresh' });
  const { page } = editor;
  // Every page once, so every view is drawn with what it was given.
  for (const tab of ['cc', 'bank', 'diag', 'synth']) {
    await page.click(`#tab-${tab}`);
    for (const text of MALFORMED) await editor.deliver(text);
  }
  // A very long text and a huge list are cut, not choked on.
  await editor.deliver(JSON.stringify({ type: 'orbel.lifecycle', events: Array.from({ length: 5000 }, (_, i) => ({ seq: i + 1, timeMs: i, kind: 'editorOpened' })) }));
  await editor.deliver(JSON.stringify({ type: 'orbel.runtimeDiagnostics', report: { status: 'degraded', diagnostics: [{ message: 'x'.repeat(100000) }] } }));
  assert.deepEqual(editor.problems, []);
  assert.equal((await knobState(page, 'master.gain')).value, 0.8, 'no malformed value reached a knob');
  // The page still plays and still follows the host.
  await editor.clearSent();
  await dial(page, 'master.gain').focus();
  await page.keyboard.press('ArrowUp');
  assert.equal((await editor.sent()).length, 3);
  await editor.deliver(announcements().get('paramChanged:filter.cutoff'));
  assert.equal((await knobState(page, 'filter.cutoff')).value, 5015);
  await editor.close();
});

test('without a plug-in the page is a working preview, and it asks again for a hello that does not come', async () => {
  const preview = await openEditor(browser, { hello: null, bridge: false });
  assert.equal(await preview.page.locator('#link').getAttribute('data-state'), 'preview');
  await dragKnob(preview.page, 'filter.cutoff', 0, -40);
  assert.ok((await knobState(preview.page, 'filter.cutoff')).value > 2000);
  assert.deepEqual(preview.problems, []);
  await preview.close();

  const waiting = await openEditor(browser, { hello: null });
  await waiting.page.waitForFunction(() => window.__sent.length >= 2, null, { timeout: 5000 });
  assert.deepEqual(await waiting.sent(), [{ type: 'orbel.ready' }, { type: 'orbel.ready' }]);
  await waiting.deliver(announcements().get('helloFull'));
  assert.equal(await waiting.page.locator('#link').getAttribute('data-state'), 'connected');
  assert.equal((await knobState(waiting.page, 'osc.type')).text, 'triangle');
  await waiting.close();
});
