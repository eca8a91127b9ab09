// What the designer's browser test and benchmark share: `qeltitle serve` started on a folder
// (and always stopped), Debian's chromium started through puppeteer-core, and waiting for the page
// to show the frame of its latest edit. Every program started here runs under a time limit.
import { spawn } from 'node:child_process';
import { existsSync } from 'node:fs';

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
