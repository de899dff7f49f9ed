// Drives the editor page in headless Chromium (Debian's chromium through
// playwright-core, never a downloaded browser). The page is served the way
// the plug-in's private scheme serves it: every file from the UI folder,
// "/" as index.html, nothing outside the folder, MIME types by extension.
// Before any of the page's scripts run, a fake web view bridge is installed
// and then the plug-in's bootstrap script, word for word, so the page meets
// the same window.orbelHost it gets inside a host. Announcements reach the
// page as the plug-in's sink sends them: a script that calls _deliver with
// the JSON text inserted as an object literal.
import { execFileSync } from 'node:child_process';
import { readFile } from 'node:fs/promises';
import { createRequire } from 'node:module';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const root = path.resolve(here, '../..');
const env = (name, fallback) => process.env[name] || fallback;

export const UI_DIR = path.resolve(env('ORBEL_UI_DIR', path.join(root, 'ui')));
export const SHOTS = env('ORBEL_PAGE_SHOTS', path.join(root, 'build/page-shots'));
const PAGE_CHECK = env('ORBEL_PAGE_CHECK', path.join(root, 'build/tests/page_check'));
const NODE_DIR = env('ORBEL_PAGE_NODE', path.join(root, 'build/page-node'));
const CHROMIUM = env('ORBEL_CHROMIUM', '/usr/bin/chromium');

const { chromium } = createRequire(path.join(NODE_DIR, 'package.json'))('playwright-core');

export const ORIGIN = 'http://bundle-0123456789abcdef.orbel.test';

export const BOOTSTRAP =
  '(function () {  if (window.orbelHost) { return; }  var handlers = [];  window.orbelHost = {    postMessage: function (message) {      window.webkit.messageHandlers.orbel.postMessage(JSON.stringify(message));    },    onMessage: function (handler) { handlers.push(handler); },    _deliver: function (message) {      for (var i = 0; i < handlers.length; i += 1) {        try { handlers[i](message); } catch (error) { console.error(error); }      }    }  };})();';

const MIME = {
  css: 'text/css', gif: 'image/gif', htm: 'text/html', html: 'text/html', ico: 'image/x-icon',
  jpeg: 'image/jpeg', jpg: 'image/jpeg', js: 'text/javascript', json: 'application/json',
  map: 'application/json', mjs: 'text/javascript', png: 'image/png', svg: 'image/svg+xml',
  ttf: 'font/ttf', txt: 'text/plain', wasm: 'application/wasm', woff: 'font/woff', woff2: 'font/woff2',
};

// The sink's script for one announcement.
export const deliveryScript = (json) => `window.orbelHost && window.orbelHost._deliver(${json});`;

// Real announcements written by the plug-in's own writers, by name.
let announcementCache;
export function announcements() {
  if (!announcementCache) {
    announcementCache = new Map();
    for (const line of pageCheck('announcements').split('\n')) {
      const tab = line.indexOf('\t');
      if (tab > 0) announcementCache.set(line.slice(0, tab), line.slice(tab + 1));
    }
  }
  return announcementCache;
}

// Runs the C++ checker with `input` on its standard input.
export function pageCheck(mode, input = '') {
  return execFileSync(PAGE_CHECK, [mode], { input, encoding: 'utf8' });
}

export async function launch() {
  return chromium.launch({ executablePath: CHROMIUM, args: ['--no-sandbox', '--disable-gpu'] });
}

async function serve(route) {
  const url = new URL(route.request().url());
  let file = decodeURIComponent(url.pathname);
  if (file === '' || file === '/') file = '/index.html';
  const full = path.resolve(UI_DIR, `.${file}`);
  if (!full.startsWith(UI_DIR + path.sep)) return route.fulfill({ status: 404, body: '' });
  try {
    const body = await readFile(full);
    const ext = path.extname(full).slice(1).toLowerCase();
    return route.fulfill({ status: 200, contentType: MIME[ext] ?? 'application/octet-stream', body });
  } catch {
    return route.fulfill({ status: 404, body: '' });
  }
}

function installFakeBridge({ bootstrap, replies }) {
  window.__sent = [];
  window.webkit = {
    messageHandlers: {
      orbel: {
        postMessage(text) {
          window.__sent.push(text);
          let type;
          try {
            type = JSON.parse(text).type;
          } catch {
            type = undefined;
          }
          for (const script of replies[type] ?? []) setTimeout(() => (0, eval)(script), 0);
        },
      },
    },
  };
  (0, eval)(bootstrap);
}

// Opens the editor at a window size. `hello` names the announcement the fake
// plug-in answers "orbel.ready" with (null: no answer); `replies` adds
// answers by message type ({type: [json, ...]}); `clock` puts the page's
// time under the test's control (page.clock).
export async function openEditor(browser, { width = 720, height = 560, hello = 'helloFull', replies = {}, bridge = true, clock = false } = {}) {
  const context = await browser.newContext({ viewport: { width, height }, deviceScaleFactor: 1 });
  if (clock) await context.clock.install();
  const outside = [];
  await context.route('**/*', (route) => {
    if (route.request().url().startsWith(`${ORIGIN}/`)) return serve(route);
    outside.push(route.request().url());
    return route.abort();
  });
  const scripts = {};
  if (hello) scripts['orbel.ready'] = [deliveryScript(announcements().get(hello))];
  for (const [type, list] of Object.entries(replies)) scripts[type] = (scripts[type] ?? []).concat(list.map(deliveryScript));
  if (bridge) await context.addInitScript(installFakeBridge, { bootstrap: BOOTSTRAP, replies: scripts });
  const page = await context.newPage();
  const problems = [];
  page.on('pageerror', (error) => problems.push(`page error: ${error.message}`));
  page.on('console', (message) => {
    if (message.type() === 'error') problems.push(`console error: ${message.text()}`);
    // The page reports a handler that tripped over an announcement.
    if (message.type() === 'warning' && message.text().startsWith('Mirel editor:')) problems.push(`warning: ${message.text()}`);
  });
  page.on('requestfailed', (request) => {
    if (request.url().startsWith(ORIGIN)) problems.push(`failed load: ${request.url()}`);
  });
  await page.goto(`${ORIGIN}/index.html`);
  if (hello) await page.waitForSelector('#link[data-state="connected"]');
  else await page.waitForSelector('.knob');
  const editor = {
    page,
    context,
    problems,
    outside,
    // The messages the page sent, parsed.
    sent: async () => (await page.evaluate(() => window.__sent)).map((text) => JSON.parse(text)),
    sentTexts: () => page.evaluate(() => window.__sent),
    clearSent: () => page.evaluate(() => {
      window.__sent.length = 0;
    }),
    deliver: (json) => page.evaluate(deliveryScript(json)),
    close: () => context.close(),
  };
  return editor;
}

// The dial of a parameter's knob.
export const dial = (page, path) => page.locator(`.knob[data-path="${path}"] .knob-dial`);

// Plain value and text a knob shows.
export async function knobState(page, path) {
  const d = dial(page, path);
  return {
    value: Number(await d.getAttribute('aria-valuenow')),
    text: await page.locator(`.knob[data-path="${path}"] .knob-value`).textContent(),
  };
}

// Drags a knob by (dx, dy) pixels in small steps, holding `modifier` if given.
export async function dragKnob(page, path, dx, dy, modifier) {
  const box = await dial(page, path).boundingBox();
  const x = box.x + box.width / 2;
  const y = box.y + box.height / 2;
  if (modifier) await page.keyboard.down(modifier);
  await page.mouse.move(x, y);
  await page.mouse.down();
  await page.mouse.move(x + dx, y + dy, { steps: 8 });
  await page.mouse.up();
  if (modifier) await page.keyboard.up(modifier);
}
