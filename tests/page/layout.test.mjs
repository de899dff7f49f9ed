// The page at the editor's smallest and largest sizes (480×360 and
// 1400×1000, and the default 720×560): everything fits without sideways
// scrolling, the synth fits without any scrolling, every control is named
// and reachable from the keyboard with a visible focus, and the theme's
// text colours keep enough contrast. Screenshots of every page at every
// size are left in the build tree for people to look at.
import assert from 'node:assert/strict';
import { mkdirSync } from 'node:fs';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { SHOTS, announcements, dial, launch, openEditor } from './harness.mjs';
import { PARAMS } from './params.mjs';

let browser;

before(async () => {
  browser = await launch();
  mkdirSync(SHOTS, { recursive: true });
});

after(async () => {
  await browser?.close();
});

const SIZES = [[480, 360], [720, 560], [1400, 1000]];

for (const [width, height] of SIZES) {
  test(`at ${width}×${height} every page fits and the synth needs no scrolling`, async () => {
    const a = announcements();
    const editor = await openEditor(browser, {
      width,
      height,
      replies: { 'orbel.diag.subscribe': [a.get('lifecycleReplay'), a.get('transport'), a.get('hostChanged')] },
    });
    const { page } = editor;
    for (const tab of ['synth', 'cc', 'bank', 'diag']) {
      await page.click(`#tab-${tab}`);
      await page.mouse.move(0, 0);
      await page.waitForTimeout(50);
      const overflow = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
      assert.ok(overflow <= 0, `${tab}: ${overflow}px sideways`);
      const panel = page.locator(`#panel-${tab}`);
      const sideways = await panel.evaluate((el) => el.scrollWidth - el.clientWidth);
      assert.ok(sideways <= 0, `${tab} page: ${sideways}px sideways`);
      await page.screenshot({ path: path.join(SHOTS, `editor-${width}x${height}-${tab}.png`) });
    }
    await page.click('#tab-synth');
    for (const { path: p } of PARAMS) {
      const box = await page.locator(`.knob[data-path="${p}"]`).boundingBox();
      assert.ok(box.x >= 0 && box.y >= 0 && box.x + box.width <= width && box.y + box.height <= height, `${p} is on screen: ${JSON.stringify(box)}`);
      const clipped = await page.locator(`.knob[data-path="${p}"] .knob-value`).evaluate((el) => el.scrollWidth > el.clientWidth);
      assert.ok(!clipped, `${p} shows its whole value`);
    }
    assert.ok(await page.locator('#panel-synth').evaluate((el) => el.scrollHeight <= el.clientHeight + 1), 'no scrolling');
    for (const picture of await page.locator('.picture').all()) {
      assert.ok((await picture.boundingBox()).height >= 40, 'pictures stay big enough to read');
    }
    assert.deepEqual(editor.problems, []);
    await editor.close();
  });
}

test('every control has a name, and the keyboard reaches every knob in panel order with a visible focus', async () => {
  const editor = await openEditor(browser, { width: 720, height: 560 });
  const { page } = editor;
  const unnamed = async () => {
    const cdp = await editor.context.newCDPSession(page);
    const { nodes } = await cdp.send('Accessibility.getFullAXTree');
    const interactive = new Set(['slider', 'button', 'tab', 'combobox', 'checkbox', 'radio', 'textbox', 'spinbutton', 'switch']);
    return nodes
      .filter((n) => !n.ignored && interactive.has(n.role?.value))
      .filter((n) => !String(n.name?.value ?? '').trim())
      .map((n) => n.role.value);
  };
  for (const tab of ['synth', 'cc', 'bank', 'diag']) {
    await page.click(`#tab-${tab}`);
    if (tab === 'cc') await page.getByRole('button', { name: '+ Add binding' }).click();
    assert.deepEqual(await unnamed(), [], `${tab}: controls without a name`);
  }
  await page.click('#tab-synth');

  // Sliders carry their value and its words.
  const cutoff = dial(page, 'filter.cutoff');
  assert.equal(await cutoff.getAttribute('aria-valuetext'), '880 Hz');
  assert.equal(await dial(page, 'osc.type').getAttribute('aria-valuetext'), 'triangle');

  await page.locator('#tab-synth').focus();
  const order = [];
  for (let i = 0; i < 20 && order.length < PARAMS.length; i += 1) {
    await page.keyboard.press('Tab');
    const p = await page.evaluate(() => document.activeElement.closest('.knob')?.dataset.path);
    if (p) {
      order.push(p);
      const outline = await page.evaluate(() => {
        const style = getComputedStyle(document.activeElement);
        return { style: style.outlineStyle, width: parseFloat(style.outlineWidth) };
      });
      assert.ok(outline.style !== 'none' && outline.width >= 2, `${p}: focus is visible`);
    }
  }
  assert.deepEqual(order, PARAMS.map((d) => d.path));
  await editor.close();
});

// WCAG contrast of two "#rrggbb" colours.
function contrast(a, b) {
  const lum = (hex) => {
    const [r, g, bl] = [1, 3, 5].map((i) => parseInt(hex.slice(i, i + 2), 16) / 255)
      .map((c) => (c <= 0.03928 ? c / 12.92 : ((c + 0.055) / 1.055) ** 2.4));
    return 0.2126 * r + 0.7152 * g + 0.0722 * bl;
  };
  const [hi, lo] = [lum(a), lum(b)].sort((x, y) => y - x);
  return (hi + 0.05) / (lo + 0.05);
}

test('text colours keep at least 4.5:1 against every surface', async () => {
  const editor = await openEditor(browser, {});
  const colours = await editor.page.evaluate(() => {
    const style = getComputedStyle(document.documentElement);
    const names = ['bg', 'panel', 'panel-raised', 'text', 'muted', 'faint', 'osc', 'filter', 'amp', 'master', 'good', 'warn', 'bad', 'focus'];
    return Object.fromEntries(names.map((n) => [n, style.getPropertyValue(`--${n}`).trim()]));
  });
  for (const surface of ['bg', 'panel', 'panel-raised']) {
    for (const ink of ['text', 'muted', 'faint', 'osc', 'filter', 'amp', 'master', 'good', 'warn', 'bad', 'focus']) {
      const ratio = contrast(colours[ink], colours[surface]);
      assert.ok(ratio >= 4.5, `${ink} on ${surface}: ${ratio.toFixed(2)}:1`);
    }
  }
  await editor.close();
});
