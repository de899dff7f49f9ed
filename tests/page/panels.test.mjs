// The diagnostics and bank pages: feeds subscribed only while the
// diagnostics page is open, reports in words, and the bank messages with
// their answers, including the kind word about the missing folder picker.
import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { announcements, launch, openEditor } from './harness.mjs';

let browser;

before(async () => {
  browser = await launch();
});

after(async () => {
  await browser?.close();
});

const textOf = (page, selector) => page.locator(selector).innerText();

test('the diagnostics page follows the feeds only while it is open', async () => {
  const a = announcements();
  const editor = await openEditor(browser, {
    hello: 'helloFull',
    replies: { 'orbel.diag.subscribe': [a.get('lifecycleReplay'), a.get('transport')] },
  });
  const { page } = editor;
  await editor.clearSent();
  await page.click('#tab-diag');
  assert.deepEqual(await editor.sent(), [{ type: 'orbel.diag.subscribe', feeds: ['lifecycle', 'transport'], hz: 15 }]);

  await page.waitForSelector('.event');
  await editor.deliver(a.get('lifecycleOne'));
  await editor.deliver(a.get('hostChanged'));
  const events = await page.locator('.events .event-title').allInnerTexts();
  assert.deepEqual(events, ['CC map changed', 'Tempo changed', 'State saved from the editor', 'Editor opened', 'Plug-in created']);
  assert.match(await textOf(page, '.events'), /90 BPM \(was 120\)/);
  assert.match(await textOf(page, '.card-transport'), /Playing[\s\S]*96 BPM[\s\S]*3\/4[\s\S]*bar 3, beat 2/);
  // The first rate has none before it: it is set, not changed.
  assert.match(await textOf(page, '.card-host'), /44\.1 kHz[\s\S]*Sample rate set\n/);

  // The health report of the hello, in words, each record with its code.
  const health = await textOf(page, '.card-health');
  assert.match(health, /Something failed/);
  assert.match(health, /output stayed silent while notes were held[\s\S]*4 blocks[\s\S]*runtime\.suspicious-silence/);
  assert.match(health, /runtime bank could not be loaded[\s\S]*\/home\/user\/packs\/kit[\s\S]*bank\.missing/);
  // A failed set-up reported later replaces it.
  await editor.deliver(a.get('runtimeDiagnostics'));
  assert.match(await textOf(page, '.card-health'), /Not playing[\s\S]*host processing configuration is invalid[\s\S]*runtime\.invalid-configuration/);
  assert.match(await textOf(page, '.card-about'), /music\.orbel\.mirel[\s\S]*VST3[\s\S]*734 bytes/);

  await editor.clearSent();
  await page.click('#tab-synth');
  assert.deepEqual(await editor.sent(), [{ type: 'orbel.diag.unsubscribe' }]);
  assert.deepEqual(editor.problems, []);
  await editor.close();
});

test('the page build facts of the identity block are shown', async () => {
  const hello = JSON.parse(announcements().get('helloFresh'));
  hello.identity.ui = { buildTime: '2025-05-20T10:00:00Z', sourceRevision: '0123456789abcdef0123', sha256: 'ab'.repeat(32) };
  const editor = await openEditor(browser, { hello: null });
  await editor.deliver(JSON.stringify(hello));
  await editor.page.click('#tab-diag');
  assert.match(await textOf(editor.page, '.card-about'), /2025-05-20T10:00:00Z · 0123456789ab…[\s\S]*abababababababab…/);
  await editor.close();
});

const BANK_STATE = {
  type: 'orbel.bankState',
  reason: 'loadBank',
  stateVersion: 1,
  pads: { kick: { gain: 0.5 } },
  banks: [],
  runtime: {
    source: 'user-folder',
    locator: '/packs/drums',
    instrument: { id: 'kit-a', name: 'Studio Kit', list: 'kits' },
    positionings: [{ id: 'kit-a', name: 'Studio Kit', list: 'kits' }, { id: 'kit-b', name: 'Room Kit', list: 'kits' }],
  },
  presets: { bankScoped: true, items: [{ id: 'p1', name: 'Tight', instrument: 'kit-a', params: { 'master.gain': 0.5 } }] },
};

test('the bank page loads, reports and picks presets with the bank messages', async () => {
  const editor = await openEditor(browser, { hello: 'helloFresh' });
  const { page } = editor;
  await editor.clearSent();
  await page.click('#tab-bank');
  assert.deepEqual(await editor.sent(), [{ type: 'orbel.getBankState' }]);

  // A folder: the path is required, then sent as it is.
  await editor.clearSent();
  await page.getByRole('button', { name: 'Load bank' }).click();
  assert.match(await textOf(page, '.bank-message'), /Type or paste the folder/);
  await page.getByLabel('Folder', { exact: true }).fill('/packs/drums');
  await page.getByLabel('Instrument').fill('kit-a');
  await page.getByRole('button', { name: 'Load bank' }).click();
  assert.deepEqual(await editor.sent(), [{ type: 'orbel.loadBank', source: 'user-folder', bankPath: '/packs/drums', instrument: 'kit-a' }]);
  assert.match(await textOf(page, '.bank-message'), /Loading the bank/);

  await editor.deliver(JSON.stringify(BANK_STATE));
  assert.match(await textOf(page, '.bank-message'), /Bank loaded/);
  assert.match(await textOf(page, '.card-bank'), /folder[\s\S]*\/packs\/drums[\s\S]*Studio Kit[\s\S]*Pad adjustments\s+1[\s\S]*Room Kit/);
  await editor.clearSent();
  await page.getByRole('button', { name: /Tight/ }).click();
  assert.deepEqual(await editor.sent(), [{ type: 'orbel.loadBankPreset', id: 'p1' }]);
  assert.equal(await page.getByRole('button', { name: /Tight/ }).getAttribute('aria-pressed'), 'true');

  // A hosted pack needs https and a whole pin.
  await page.getByLabel('Hosted pack (https)').check();
  await page.getByLabel('Address').fill('http://example.com/kit.zip');
  await editor.clearSent();
  await page.getByRole('button', { name: 'Load bank' }).click();
  assert.match(await textOf(page, '.bank-message'), /https only/);
  await page.getByLabel('Address').fill('https://example.com/kit.zip');
  await page.getByLabel('SHA-256 pin').fill('AB'.repeat(31));
  await page.getByRole('button', { name: 'Load bank' }).click();
  assert.match(await textOf(page, '.bank-message'), /64 hexadecimal digits/);
  await page.getByLabel('SHA-256 pin').fill('AB'.repeat(32));
  await page.getByRole('button', { name: 'Load bank' }).click();
  assert.deepEqual(await editor.sent(), [{ type: 'orbel.loadBank', source: 'hosted', url: 'https://example.com/kit.zip', sha256: 'ab'.repeat(32), instrument: 'kit-a' }]);

  // Errors come back in words, with what was asked for.
  await editor.deliver(JSON.stringify({ type: 'orbel.bankState', reason: 'loadBank', stateVersion: 1, pads: {}, banks: [], presets: { bankScoped: false, items: [] }, error: { code: 'bank-fetch-failed', requestedId: 'https://example.com/kit.zip' } }));
  assert.match(await textOf(page, '.bank-message'), /could not be downloaded \(https:\/\/example\.com\/kit\.zip\)/);
  assert.match(await textOf(page, '.card-bank'), /No bank is loaded/);
  assert.deepEqual(editor.problems, []);
  await editor.close();
});

test('asked for a folder picker, the page says kindly that there is none', async () => {
  const answer = '{"type":"orbel.folderPicked","ok":false,"error":"this build has no folder picker"}';
  const editor = await openEditor(browser, { hello: 'helloFresh', replies: { 'orbel.pickFolder': [answer] } });
  const { page } = editor;
  await page.click('#tab-bank');
  await page.getByRole('button', { name: 'Choose…' }).click();
  await page.waitForFunction(() => document.querySelector('.bank-message').textContent.includes('folder picker'));
  assert.match(await textOf(page, '.bank-message'), /has no folder picker\. No problem: type or paste the folder’s path/);
  assert.equal(await page.evaluate(() => document.activeElement.id), await page.getByLabel('Folder', { exact: true }).getAttribute('id'));
  // A picker that does answer fills the path in.
  await editor.deliver('{"type":"orbel.folderPicked","ok":true,"path":"/packs/keys"}');
  assert.equal(await page.getByLabel('Folder', { exact: true }).inputValue(), '/packs/keys');
  await editor.close();

  // A plug-in that does not answer at all gets the same kind word.
  const silent = await openEditor(browser, { hello: 'helloFresh' });
  await silent.page.click('#tab-bank');
  await silent.page.getByRole('button', { name: 'Choose…' }).click();
  await silent.page.waitForFunction(() => document.querySelector('.bank-message').textContent.includes('folder picker'), null, { timeout: 5000 });
  await silent.close();
});
