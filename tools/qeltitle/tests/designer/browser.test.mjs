// The designer in a real browser: type a text, pick an effect, scrub to the middle, save; the
// preview must equal `qeltitle render` of the saved title at that time pixel for pixel, and the
// saved files must load. Usage: node browser.test.mjs QELTITLE
import { execFileSync } from 'node:child_process';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { SKIP, frameShown, startBrowser, startServer, watchdog } from './driver.mjs';

const tool = process.argv[2];
const folder = mkdtempSync(join(tmpdir(), 'qeltitle-designer-'));
const server = startServer(tool, folder);
let browser = null;
const cleanup = async () => {
  await browser?.close().catch(() => {});
  await server.stop();
  rmSync(folder, { recursive: true, force: true });
};
watchdog(240, cleanup);

// A program of the check, under a time limit.
const run = (program, args) => execFileSync('timeout', ['-k', '5', '60', program, ...args], { maxBuffer: 64 << 20 });

function check(ok, what) {
  if (!ok) throw new Error(what);
  console.log(`ok: ${what}`);
}

async function main() {
  const url = await server.url;
  browser = await startBrowser();
  if (!browser) return SKIP;
  const page = await browser.newPage();
  await page.setViewport({ width: 1600, height: 1000 });
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  await page.goto(url);
  await frameShown(page);

  // Over a colour, so the frame is opaque and `render --background` draws the same.
  await page.select('#backdrop-kind', 'color');
  await page.$eval('#backdrop-color', (el) => { el.value = '#203040'; el.dispatchEvent(new Event('input')); });
  // The text typed (several scripts), the entrance effect picked from the thumbnails.
  await page.click('#text', { clickCount: 3 });
  await page.keyboard.press('Backspace');
  await page.keyboard.type('Grüße — مرحبا 你好');
  await frameShown(page);
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
  await page.$eval('#scrub', (el) => { el.value = '0.5'; el.dispatchEvent(new Event('input')); });
  await frameShown(page);
  for (const [name, format] of [['designed.xml', 'xml'], ['designed.json', 'json']]) {
    await page.$eval('#save-name', (el, n) => { el.value = n; el.dispatchEvent(new Event('change')); }, name);
    await page.select('#save-format', format);
    await page.click('#save');
    await page.waitForFunction((n) => document.body.dataset.saved === n, { timeout: 20000 }, name);
  }
  const shown = Buffer.from(await page.$eval('#preview', (canvas) => {
    const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    let text = '';
    for (let i = 0; i < data.length; i += 0x8000) text += String.fromCharCode(...data.subarray(i, i + 0x8000));
    return btoa(text);
  }), 'base64');
  check(errors.length === 0, `the page ran without errors ${errors.join('; ')}`);

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
  check(typed === 'Grüße — مرحبا 你好', 'the saved JSON builds into a title with the typed text');
  return 0;
}

let status = 1;
try {
  status = await main();
} catch (error) {
  console.error(`FAILED: ${error.message}`);
} finally {
  await cleanup();
}
process.exit(status);
