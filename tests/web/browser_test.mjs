// The page in a real browser: Debian's chromium, headless, driven by
// puppeteer-core, opens build-web/index.html from a server on this machine
// and types the dialogues of tests/web/NAME.in into the page's terminal, a
// line at a time once the program waits for it (the first line after a
// stray key taken back with Backspace), then one key for the final wait.
// The terminal's text must equal NAME.screen (tests/web/screen_at_terminal.py
// made it from the native program at a terminal). Each dialogue after the
// first starts with Enter, as the page offers once one ends. Then a 200 x
// 200 random inverse, whose time is printed. The page must ask nothing of
// any other host. Leaves build-web/screenshot.png.
//
// usage: node tests/web/browser_test.mjs BUILD_DIR
import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import {createRequire} from 'node:module';
import os from 'node:os';
import path from 'node:path';
import {fileURLToPath} from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const require = createRequire(path.join(here, '../../web/package.json'));
const puppeteer = require('puppeteer-core');

const build = path.resolve(process.argv[2] ?? 'build-web');
const actualDir = path.join(build, 'web-tests');
const kDialogues = ['determinant_working', 'inverse_kept_then_determinant', 'bad_token_asked_again'];
const kLargeInverse = ['6', '200', '200', '1', '10'];
const kTypes = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript',
  '.css': 'text/css',
  '.wasm': 'application/wasm',
};

// The build's files, on 127.0.0.1 at a free port.
function serve(root) {
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://x').pathname);
    const file = path.join(root, name === '/' ? 'index.html' : name);
    if (!file.startsWith(root + path.sep) || !fs.existsSync(file)) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, {'Content-Type': kTypes[path.extname(file)] ?? 'application/octet-stream'});
    response.end(fs.readFileSync(file));
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

// Chromium with a fresh, empty profile, removed at the end.
const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'trelvo-chromium-'));

async function launch() {
  return puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    userDataDir: profile,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
}

const waitFor = (page, test, timeout = 60000) =>
  page.waitForFunction(test, {timeout, polling: 20});

// Types `lines`, each once the program waits for a line, then the key of
// the final wait; returns when the dialogue has ended.
async function typeDialogue(page, lines) {
  for (const [i, line] of lines.entries()) {
    await waitFor(page, () => window.trelvoPage.waitsForLine());
    if (i === 0) {
      await page.keyboard.type('x');
      await page.keyboard.press('Backspace');
    }
    await page.keyboard.type(line);
    await page.keyboard.press('Enter');
  }
  await waitFor(page, () => window.trelvoPage.waitsForKey());
  await page.keyboard.type('z');
  await waitFor(page, () => !window.trelvoPage.running());
}

async function startAgain(page) {
  await page.keyboard.press('Enter');
  await waitFor(page, () => window.trelvoPage.running());
}

// Compares the terminal's text with NAME.screen; on a difference, keeps the
// text in web-tests/NAME.actual and shows the difference.
async function check(page, name) {
  const text = await page.evaluate(() => window.trelvoPage.text());
  const expectedFile = path.join(here, `${name}.screen`);
  if (text === fs.readFileSync(expectedFile, 'utf8')) {
    console.log(`ok: ${name}`);
    return true;
  }
  fs.mkdirSync(actualDir, {recursive: true});
  const actualFile = path.join(actualDir, `${name}.actual`);
  fs.writeFileSync(actualFile, text);
  const diff = spawnSync('diff', ['-u', expectedFile, actualFile], {encoding: 'utf8'});
  console.log(`FAILED: ${name}: the terminal's text differs from ${expectedFile}\n${diff.stdout}`);
  return false;
}

async function main() {
  const server = await serve(build);
  const origin = `http://127.0.0.1:${server.address().port}`;
  const browser = await launch();
  let passed = 0;
  let failed = 0;
  const count = (ok) => (ok ? ++passed : ++failed);
  try {
    const page = await browser.newPage();
    await page.setViewport({width: 1100, height: 860});
    const elsewhere = [];
    page.on('request', (request) => {
      const url = request.url();
      if (!url.startsWith(origin + '/') && !url.startsWith('data:')) elsewhere.push(url);
    });
    const errors = [];
    page.on('pageerror', (error) => errors.push(String(error)));
    await page.goto(`${origin}/index.html`);
    await waitFor(page, () => window.trelvoPage && window.trelvoPage.running());
    await page.click('#terminale');

    for (const [i, name] of kDialogues.entries()) {
      if (i > 0) await startAgain(page);
      const lines = fs.readFileSync(path.join(here, `${name}.in`), 'utf8').split('\n');
      if (lines.at(-1) === '') lines.pop();
      await typeDialogue(page, lines);
      count(await check(page, name));
      if (i === 0) await page.screenshot({path: path.join(build, 'screenshot.png')});
    }

    await startAgain(page);
    const before = kLargeInverse.slice(0, -1);
    for (const line of before) {
      await waitFor(page, () => window.trelvoPage.waitsForLine());
      await page.keyboard.type(line);
      await page.keyboard.press('Enter');
    }
    await waitFor(page, () => window.trelvoPage.waitsForLine());
    const started = performance.now();
    await page.keyboard.type(kLargeInverse.at(-1));
    await page.keyboard.press('Enter');
    await waitFor(page, () => window.trelvoPage.waitsForLine(), 600000);
    const seconds = (performance.now() - started) / 1000;
    const text = await page.evaluate(() => window.trelvoPage.text());
    const done = text.includes("La matrice INVERSA E':") && text.trimEnd().endsWith('-->');
    console.log(`${done ? 'ok' : 'FAILED'}: 200 x 200 random inverse in the page, ` +
      `${seconds.toFixed(1)} s`);
    count(done);
    await typeDialogue(page, ['0', '9']);

    if (elsewhere.length > 0) console.log(`FAILED: requests to other hosts:\n${elsewhere.join('\n')}`);
    count(elsewhere.length === 0);
    if (errors.length > 0) console.log(`FAILED: errors in the page:\n${errors.join('\n')}`);
    count(errors.length === 0);
  } finally {
    await browser.close();
    server.close();
    fs.rmSync(profile, {recursive: true, force: true});
  }
  console.log(`browser: ${passed} passed, ${failed} failed`);
  process.exitCode = failed === 0 ? 0 : 1;
}

main().catch((error) => {
  console.error(error);
  process.exitCode = 1;
});
