// Captions mode in a real browser: a subtitle file in an installed preset, its style changed
// through the panel's controls (font, size, colour, place, effects, plate) and saved; the preview
// is what `qeltitle captions` draws with the saved style at that time, and the style file says
// what the controls set. Usage: node captions.test.mjs QELTITLE
import { readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { check, frameShown, run, session, setValue, shownPixels } from './driver.mjs';

const tool = process.argv[2];
const SECONDS = 2;  // the cue at rest; frame 50 at 25 fps
const END = 3.5;    // the end of the last cue: the scrubber's length

session(tool, {
  seconds: 240,
  prepare: (folder) => writeFileSync(join(folder, 'talk.srt'),
    '1\n00:00:00,500 --> 00:00:03,500\nCaptions drawn by the engine,\nwith a plate behind each line\n'),
}, async ({ page, folder }) => {
  await page.click('#mode-captions');
  await frameShown(page);
  await page.select('#cap-style-source', 'preset:news');
  await page.waitForFunction(() => document.getElementById('cap-style').value.includes('"per"'));
  await frameShown(page);
  const font = await page.$eval('#cap-font', (s) => [...s.options].map((o) => o.value).find((f) => /DejaVu Serif/.test(f)) || '');
  for (const [selector, value, how] of [
    ['#cap-font', font, 'select'], ['#cap-size', '70'], ['#cap-color', '#ffeeaa'], ['#cap-anchor', 'top', 'select'],
    ['#cap-margin-y', '90'], ['#cap-in', '', 'select'], ['#cap-plate-per', 'line', 'select'],
    ['#cap-plate-color', '#aa2200'], ['#cap-plate-alpha', '200'], ['#cap-plate-radius', '12']]) {
    if (how === 'select') await page.select(selector, value); else await setValue(page, selector, value);
    await frameShown(page);
  }
  await setValue(page, '#cap-style-name', 'mine.json');
  await page.click('#cap-save');
  await page.waitForFunction(() => document.body.dataset.saved === 'mine.json');
  const saved = JSON.parse(readFileSync(join(folder, 'mine.json'), 'utf8'));
  check(saved.style.size === 70 && saved.style.color === '#FFEEAA' && saved.style.font === (font || undefined)
    && saved.anchor === 'top' && saved.margin[1] === 90 && saved.in === null && saved.out.effect === 'PATH_WIPELEFT'
    && saved.plate.per === 'line' && saved.plate.color === '#AA2200C8' && saved.plate.radius === 12,
  `the saved style holds what the controls set: ${JSON.stringify(saved)}`);

  await setValue(page, '#scrub', String(SECONDS / END));
  await frameShown(page);
  const shown = await shownPixels(page);
  run(tool, ['captions', join(folder, 'talk.srt'), '--style', join(folder, 'mine.json'), '-o',
    join(folder, 'frames', '%04d.png'), '--size', '1920x1080']);
  const drawn = run('ffmpeg', ['-v', 'error', '-i', join(folder, 'frames', `${String(SECONDS * 25).padStart(4, '0')}.png`),
    '-f', 'rawvideo', '-pix_fmt', 'rgba', '-']);
  check(drawn.length === shown.length, `the preview is the frame's size (${shown.length} bytes)`);
  // The canvas keeps colours premultiplied by their alpha: compared so, within its rounding.
  let differ = 0, opaque = 0;
  for (let i = 0; i < drawn.length; i += 4) {
    const a = drawn[i + 3];
    if (Math.abs(a - shown[i + 3]) > 0) { differ += 1; continue; }
    if (a === 255) opaque += 1;
    for (let c = 0; c < 3; c += 1) {
      if (Math.abs(Math.round((drawn[i + c] * a) / 255) - Math.round((shown[i + c] * a) / 255)) > 1) { differ += 1; break; }
    }
  }
  check(opaque > 1000, `the frame compared shows the caption (${opaque} opaque pixels)`);
  check(differ === 0, `the preview is qeltitle captions' frame at ${SECONDS} s with the saved style (${differ} pixels differ)`);
  return 0;
});
