// The designer in a real browser: type a text, pick an effect, scrub to the middle, save; the
// preview must equal `qeltitle render` of the saved title at that time pixel for pixel, and the
// saved files must load. Usage: node browser.test.mjs QELTITLE
import { readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { check, frameShown, run, session, setValue, shownPixels } from './driver.mjs';

const tool = process.argv[2];

// The text composed by an input method (as a Japanese one does: the reading typed, then its
// characters chosen) is one edit: one undo takes all of it away.
async function compose(page) {
  const text = () => page.$eval('#text', (el) => el.value);
  const before = await text();
  const cdp = await page.createCDPSession();
  // Slower than a run of keys that the history joins into one step.
  const pause = () => new Promise((resolve) => { setTimeout(resolve, 1100); });
  for (const reading of ['と', 'とう', 'とうきょう']) {
    await pause();
    await cdp.send('Input.imeSetComposition', { text: reading, selectionStart: reading.length, selectionEnd: reading.length });
  }
  await cdp.send('Input.insertText', { text: '東京' });
  await frameShown(page);
  const composed = await text();
  await page.click('#undo');
  await frameShown(page);
  check(composed === `${before}東京` && (await text()) === before,
    `a composition is one edit (${JSON.stringify(composed)}, undone: ${JSON.stringify(await text())})`);
  await page.click('#redo');
  await frameShown(page);
}

// Key frames of another shape than entrance, hold and exit: each key's effect is chosen in the
// page, the others kept.
const KEYS = [{ time: 0, effect: 'PATH_FADE', progress: 0 }, { time: 1, effect: 'PATH_FADE' },
  { time: 2, effect: 'PATH_WIPEDOWN' }, { time: 4, effect: 'PATH_SLIDERIGHT', progress: 0 }];

async function keyEffects(page, folder) {
  await page.select('#open-file', 'keys.json');
  await page.waitForSelector('#keys select[data-key="2"]');
  await frameShown(page);
  await page.select('#keys select[data-key="2"]', 'PATH_FADE');
  await frameShown(page);
  await setValue(page, '#save-name', 'keys-out.json', 'change');
  await page.click('#save');
  await page.waitForFunction(() => document.body.dataset.saved === 'keys-out.json');
  const keys = JSON.parse(readFileSync(join(folder, 'keys-out.json'), 'utf8')).strings[0].keys;
  const expected = KEYS.map((k, i) => (i === 2 ? { ...k, effect: 'PATH_FADE' } : k));
  check(JSON.stringify(keys) === JSON.stringify(expected), `a key frame's effect changed alone: ${JSON.stringify(keys)}`);
}

// The strings' drawn extents (for snapping) hold every pixel the render drew, border included,
// and touch them on every side.
async function drawnExtent(page, title, rendered, background) {
  const [box] = await page.evaluate(async (text) => {
    const reply = await fetch('api/bounds', { method: 'POST', body: JSON.stringify({ title: text, width: 1920, height: 1080 }) });
    return (await reply.json()).boxes;
  }, title);
  let [left, top, right, bottom] = [1920, 1080, -1, -1];
  for (let i = 0; i < rendered.length; i += 4) {
    if (rendered.readUInt32LE(i) === background) continue;
    const x = (i / 4) % 1920, y = Math.floor(i / 4 / 1920);
    [left, top, right, bottom] = [Math.min(left, x), Math.min(top, y), Math.max(right, x), Math.max(bottom, y)];
  }
  const [x, y, w, h] = box;
  const near = (a, b) => Math.abs(a - b) <= 2;
  check(left >= x && top >= y && right < x + w && bottom < y + h && near(left, x) && near(top, y)
    && near(right + 1, x + w) && near(bottom + 1, y + h),
  `the drawn extent ${box} is where the render drew (${left},${top} to ${right},${bottom})`);
}

session(tool, {
  seconds: 240,
  prepare: (folder) => writeFileSync(join(folder, 'keys.json'), JSON.stringify({ length: 4, strings: [{ text: 'Keys', keys: KEYS }] })),
}, async ({ page, folder }) => {
  // Over a colour, so the frame is opaque and `render --background` draws the same.
  await page.select('#backdrop-kind', 'color');
  await setValue(page, '#backdrop-color', '#203040');
  // The text typed (several scripts), the entrance effect picked from the thumbnails.
  await page.click('#text', { clickCount: 3 });
  await page.keyboard.press('Backspace');
  await page.keyboard.type('Grüße — مرحبا ');
  await frameShown(page);
  await compose(page);
  await page.click('#pick-in');
  await page.waitForSelector('#effect-grid button[data-effect="PATH_SLIDERIGHT"]');
  await page.click('#effect-grid button[data-effect="PATH_SLIDERIGHT"]');
  await frameShown(page);
  // A drag moves the string (its anchor follows), and one undo brings the whole drag back.
  const anchor = () => page.$eval('#anchor-grid .active', (b) => b.title);
  const from = await anchor();
  const box = await (await page.$('.box')).boundingBox();
  await page.mouse.move(box.x + 10, box.y + 10);
  await page.mouse.down();
  for (let i = 1; i <= 8; i += 1) await page.mouse.move(box.x + 10 + 60 * i, box.y + 10 - 40 * i);
  await page.mouse.up();
  await frameShown(page);
  const moved = await anchor();
  await page.keyboard.down('Control');
  await page.keyboard.press('z');
  await page.keyboard.up('Control');
  await frameShown(page);
  check(moved !== from && (await anchor()) === from, `a drag moved the string (${from} -> ${moved}) and one undo took it back`);
  // The middle of the timeline.
  await setValue(page, '#scrub', '0.5');
  await frameShown(page);
  for (const [name, format] of [['designed.xml', 'xml'], ['designed.json', 'json']]) {
    await page.$eval('#save-name', (el, n) => { el.value = n; el.dispatchEvent(new Event('change')); }, name);
    await page.select('#save-format', format);
    await page.click('#save');
    await page.waitForFunction((n) => document.body.dataset.saved === n, { timeout: 20000 }, name);
  }
  const shown = await shownPixels(page);

  const still = join(folder, 'render.png');
  run(tool, ['render', join(folder, 'designed.xml'), '-o', still, '--time', '0.5', '--size', '1920x1080',
    '--background', '#203040']);
  const rendered = run('ffmpeg', ['-v', 'error', '-i', still, '-f', 'rawvideo', '-pix_fmt', 'rgba', '-']);
  check(rendered.length === shown.length, `the preview is the render's size (${shown.length} bytes)`);
  let differ = 0;
  for (let i = 0; i < shown.length; i += 4) if (shown.readUInt32LE(i) !== rendered.readUInt32LE(i)) differ += 1;
  check(differ === 0, `the preview equals qeltitle render of the saved title at 0.5 (${differ} pixels differ)`);
  const drawn = new Set();
  for (let i = 0; i < rendered.length; i += 4 * 97) drawn.add(rendered.readUInt32LE(i));
  check(drawn.size > 3, 'the frame compared shows the title, not only the background');

  const info = run(tool, ['info', join(folder, 'designed.xml')]).toString();
  check(info.includes('PATH_SLIDERIGHT') || info.includes('SlideRight'), 'the saved title file loads with its effect');
  run(tool, ['build', join(folder, 'designed.json'), '-o', join(folder, 'again.xml')]);
  const exported = JSON.parse(run(tool, ['export', join(folder, 'again.xml'), '-o', '-']).toString());
  const typed = exported.strings[0].text ?? exported.strings[0].spans.map((s) => s.text).join('');
  check(typed === 'Grüße — مرحبا 東京', 'the saved JSON builds into a title with the typed text');
  await drawnExtent(page, readFileSync(join(folder, 'designed.json'), 'utf8'), rendered, rendered.readUInt32LE(0));
  await keyEffects(page, folder);
  return 0;
});
