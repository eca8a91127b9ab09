// Exports from the designer page in a real browser: a video runs to its end with its progress
// shown and is the title's length in frames (ffprobe); a long one cancelled stops, leaves the file
// it was to replace as it was and nothing half-written beside it.
// Usage: node export.test.mjs QELTITLE
import { readdirSync, readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { check, frameShown, run, session, setValue } from './driver.mjs';

const tool = process.argv[2];
const OLD = 'an earlier export, kept when a new one is cancelled';

async function startExport(page, name, seconds) {
  await setValue(page, '#length', String(seconds), 'change');
  await frameShown(page);
  await setValue(page, '#export-name', name);
  await page.click('#export');
}

const finished = (page, name) => page.waitForFunction((n) => (document.body.dataset.exported || '').endsWith(`:${n}`),
  { timeout: 120000, polling: 200 }, name).then(() => page.evaluate(() => document.body.dataset.exported));

session(tool, {
  seconds: 280,
  prepare: (folder) => writeFileSync(join(folder, 'kept.mp4'), OLD),
}, async ({ page, folder }) => {
  await page.select('#frame-preset', '1080x1080');
  await page.select('#backdrop-kind', 'color');
  await frameShown(page);

  await startExport(page, 'short.mp4', 1);
  const shortDone = await finished(page, 'short.mp4');
  check(shortDone === 'ok:short.mp4', `a one-second export finished (${shortDone}: ${await page.$eval('#message', (m) => m.textContent)})`);
  const probe = run('ffprobe', ['-v', 'error', '-count_frames', '-select_streams', 'v:0', '-show_entries',
    'stream=width,height,nb_read_frames', '-of', 'csv=p=0', join(folder, 'short.mp4')]).toString().trim();
  check(probe === '1080,1080,25', `the export is the title's second at 25 fps (${probe})`);
  check(await page.$eval('#export-progress', (bar) => bar.hidden && bar.max === 25), 'the progress counted its 25 frames');

  const before = readdirSync(folder).sort().join(' ');
  await startExport(page, 'kept.mp4', 120);
  await page.waitForFunction(() => {
    const bar = document.getElementById('export-progress');
    return !bar.hidden && bar.value > 0 && bar.max === 3000;
  }, { timeout: 60000, polling: 100 });
  check(true, 'a running export shows its progress');
  await page.click('#export-cancel');
  check((await finished(page, 'kept.mp4')) === 'cancelled:kept.mp4', 'the cancelled export stopped');
  check(readFileSync(join(folder, 'kept.mp4'), 'utf8') === OLD, 'the file it would have replaced is as it was');
  check(readdirSync(folder).sort().join(' ') === before, `nothing half-written is left (${readdirSync(folder)})`);
  check(await page.$eval('#export-cancel', (b) => b.hidden) && !(await page.$eval('#export', (b) => b.disabled)),
    'the page can export again');
  return 0;
});
