// What the designer's browser tests and benchmark share: `qeltitle serve` started on a folder
// (and always stopped), Debian's chromium started through puppeteer-core, the page opened on it,
// and waiting for the page to show the frame of its latest edit. Every program started here runs
// under a time limit.
import { execFileSync, spawn } from 'node:child_process';
import { existsSync, mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

// Exit status CTest reads as "skipped" (SKIP_RETURN_CODE).
export const SKIP = 77;

// Ends the process, failing, when the whole run takes longer than `seconds`.
export function watchdog(seconds, cleanup) {
  const timer = setTimeout(async () => {
    console.error(`timed out after ${seconds} s`);
    await cleanup();
    process.exit(1);
  }, seconds * 1000);
  timer.unref();
}

// `qeltitle serve FOLDER --port 0`; resolves with its address once it prints it.
export function startServer(tool, folder) {
  const child = spawn('timeout', ['-k', '5', '600', tool, 'serve', folder, '--port', '0'], { stdio: ['ignore', 'pipe', 'pipe'] });
  let output = '';
  const url = new Promise((resolve, reject) => {
    child.stdout.on('data', (d) => {
      output += d;
      const found = output.match(/designer: (http:\/\/\S+)/);
      if (found) resolve(found[1]);
    });
    child.stderr.on('data', (d) => process.stderr.write(d));
    child.on('exit', (code) => reject(new Error(`qeltitle serve ended (${code}) before it listened: ${output}`)));
    setTimeout(() => reject(new Error('qeltitle serve printed no address within 20 s')), 20000).unref();
  });
  const stop = () => new Promise((resolve) => {
    if (child.exitCode !== null || child.signalCode !== null) return resolve();
    child.on('exit', resolve);
    child.kill('SIGTERM');
  });
  return { url, stop };
}

// Debian's chromium, headless; null (with the reason printed) when it cannot start here.
export async function startBrowser() {
  const { default: puppeteer } = await import('puppeteer-core');
  const executablePath = process.env.CHROMIUM || ['/usr/bin/chromium', '/usr/bin/chromium-browser'].find(existsSync);
  if (!executablePath) {
    console.log('SKIP: chromium is not installed (scripts/setup.sh installs it)');
    return null;
  }
  try {
    return await puppeteer.launch({
      executablePath, headless: true, protocolTimeout: 60000, timeout: 30000,
      args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage', '--window-size=1600,1000'],
    });
  } catch (error) {
    console.log(`SKIP: chromium cannot start: ${error.message.split('\n')[0]}`);
    return null;
  }
}

// Resolves once the page has painted the frame of its latest edit.
export function frameShown(page) {
  return page.waitForFunction(
    () => document.body.dataset.ready === '1' && document.body.dataset.painted === document.body.dataset.version,
    { timeout: 30000, polling: 'raf' });
}

// A program of a check, under a time limit; its standard output.
export const run = (program, args) => execFileSync('timeout', ['-k', '5', '60', program, ...args], { maxBuffer: 64 << 20 });

export function check(ok, what) {
  if (!ok) throw new Error(what);
  console.log(`ok: ${what}`);
}

// The preview canvas's RGBA bytes.
export async function shownPixels(page) {
  return Buffer.from(await page.$eval('#preview', (canvas) => {
    const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    let text = '';
    for (let i = 0; i < data.length; i += 0x8000) text += String.fromCharCode(...data.subarray(i, i + 0x8000));
    return btoa(text);
  }), 'base64');
}

// Sets an input's value as a person would, firing its `event`.
export function setValue(page, selector, value, event = 'input') {
  return page.$eval(selector, (el, v, e) => { el.value = v; el.dispatchEvent(new Event(e)); }, value, event);
}

// The whole run of a script: a fresh folder (`prepare(folder)` fills it), the server on it, the
// page open in chromium with its first frame shown, then `body({ page, folder, tool })`; the
// process exits with its status (SKIP without chromium), everything stopped and removed, failing
// when it takes longer than `seconds`.
export async function session(tool, { seconds, prepare = () => {} }, body) {
  const folder = mkdtempSync(join(tmpdir(), 'qeltitle-designer-'));
  let server = null;
  let browser = null;
  const cleanup = async () => {
    await browser?.close().catch(() => {});
    await server?.stop();
    rmSync(folder, { recursive: true, force: true });
  };
  watchdog(seconds, cleanup);
  let status = 1;
  try {
    prepare(folder);
    server = startServer(tool, folder);
    const url = await server.url;
    browser = await startBrowser();
    if (!browser) {
      status = SKIP;
    } else {
      const page = await browser.newPage();
      await page.setViewport({ width: 1600, height: 1000 });
      const errors = [];
      page.on('pageerror', (e) => errors.push(e.message));
      await page.goto(url);
      await frameShown(page);
      status = await body({ page, folder, tool });
      check(errors.length === 0, `the page ran without errors ${errors.join('; ')}`);
    }
  } catch (error) {
    console.error(`FAILED: ${error.message}`);
    status = 1;
  } finally {
    await cleanup();
  }
  process.exit(status);
}
