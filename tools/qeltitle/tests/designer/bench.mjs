// The designer's edit-to-frame time in Debian's chromium: from an edit in the page (a key typed
// into the text, a colour changed) to the engine's new 1920x1080 frame shown
// on the canvas, as the page measures it (window.qelLatencies). Prints the median and the 95th
// percentile of each kind. Usage: node bench.mjs QELTITLE [EDITS]
import { frameShown, session, setValue } from './driver.mjs';

const tool = process.argv[2];
const edits = Number(process.argv[3] || 100);

const percentile = (values, p) => {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.min(sorted.length - 1, Math.ceil((p / 100) * sorted.length) - 1)];
};

async function measure(page, name, edit) {
  await page.evaluate(() => { window.qelLatencies = []; });
  for (let i = 0; i < edits; i += 1) {
    await edit(i);
    await frameShown(page);
    await page.waitForFunction((n) => window.qelLatencies.length >= n, { polling: 'raf' }, i + 1);
  }
  const times = await page.evaluate(() => window.qelLatencies);
  console.log(`${name.padEnd(28)} median ${percentile(times, 50).toFixed(1)} ms   p95 ${percentile(times, 95).toFixed(1)} ms   (${times.length} edits)`);
}

session(tool, { seconds: 600 }, async ({ page }) => {
  await page.select('#backdrop-kind', 'color');
  await frameShown(page);
  await page.focus('#text');
  await measure(page, 'a key typed into the text', (i) => page.keyboard.type(String.fromCharCode(97 + (i % 26))));
  await measure(page, 'the face colour changed',
    (i) => setValue(page, '#color1', `#${(0x102030 + i * 0x030507).toString(16).padStart(6, '0')}`));
  return 0;
});
