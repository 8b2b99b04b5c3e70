// The playground page in headless Chromium, served from 127.0.0.1:
//   node browser_test.mjs SITE_DIR OXBUILD SCREENSHOT
// Types a program with an error and finds the message at its line, in
// English and in Japanese; fixes it and finds the listing; runs it with a
// script and finds the trace; downloads the module and compares it with
// the native compiler's; opens the share link and gets the source back;
// runs a program that divides by zero and finds the error at its line.
// Prints how long compiling the first example took after load. Exit status
// 1 on a failed check, 77 when Chromium or puppeteer-core is missing.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const [site, oxbuild, screenshot] = process.argv.slice(2);
const here = path.dirname(fileURLToPath(import.meta.url));
const web = path.join(here, '../../web');
const kChromium = process.env.CHROMIUM ?? '/usr/bin/chromium';
const kFlags = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];
const kTimeoutMs = 15000;

const lines = (...l) => `${l.join('\n')}\n`;
// Line 4 names a variable that was never declared.
const kBroken = lines('int clicks;', 'OnLoad(int &result)', '{', 'clickz = 0;', 'result = 1;', '}',
  'OnClick(int x, int y, int button)', '{', 'clicks = clicks + 1;', 'MessageBeep(clicks);', '}');
const kFixed = kBroken.replace('clickz', 'clicks');
const kBrokenLine = 4;
const kMessages = { en: 'symbol not found : clickz', ja: 'シンボルが見つかりません : clickz' };
// Line 4 divides by the button, 0 in the script's click.
const kDivides = lines('int clicks;', 'OnClick(int x, int y, int button)', '{', 'clicks = x / button;', '}');
const kRuntimeError = 'division by zero (in OnClick, code address 0)';
const kScript = lines('OnClick 1 2 0', 'OnClick 1 2 0');
const kTrace = lines('OnLoad(&result)', '  -> &result=1', 'OnClick(1, 2, 0)', '  MessageBeep(1)',
  'OnClick(1, 2, 0)', '  MessageBeep(2)');

let puppeteer;
try {
  puppeteer = (await import(path.join(web, 'node_modules/puppeteer-core/lib/esm/puppeteer/puppeteer-core.js'))).default;
} catch {
  console.log('puppeteer-core is not installed in web/ (scripts/build-web.sh): skipped');
  process.exit(77);
}
if (!fs.existsSync(kChromium) || !fs.existsSync(path.join(site, 'index.html'))) {
  console.log(`no ${kChromium} or no page in ${site}: skipped`);
  process.exit(77);
}
const { serve } = await import(path.join(web, 'serve.mjs'));

let failures = 0;
function check(ok, what) {
  console.log(`${ok ? 'ok' : 'FAIL'} ${what}`);
  if (!ok) failures++;
}

function nativeModule(source, work) {
  fs.writeFileSync(path.join(work, 'main.oxs'), source);
  execFileSync(path.resolve(oxbuild), ['main.oxs'], { cwd: work });
  return fs.readFileSync(path.join(work, 'main.oxb'));
}

async function openPage(browser, url) {
  const page = await browser.newPage();
  page.on('pageerror', (e) => check(false, `no error in the page: ${e.message}`));
  await page.goto(url);
  await page.waitForSelector('body[data-ready=yes]', { timeout: kTimeoutMs });
  return page;
}

async function typeSource(page, text) {
  await page.click('.cm-content');
  await page.keyboard.down('Control');
  await page.keyboard.press('a');
  await page.keyboard.up('Control');
  await page.keyboard.press('Backspace');
  await page.keyboard.type(text);
  await page.waitForFunction((t) => playground.compiled === t, { timeout: kTimeoutMs }, text);
}

// The message shown on the editor's line, once one is.
async function messageAt(page, line) {
  await page.waitForSelector('.cm-message-error', { timeout: kTimeoutMs });
  return page.$$eval('.cm-line', (all, n) => all[n - 1]?.querySelector('.cm-message-error')?.textContent ?? null, line);
}

// Each example offered compiles with the files it names.
async function checkExamples(page) {
  const names = await page.$$eval('#example option', (all) => all.map((o) => o.value).filter((v) => v !== ''));
  for (const name of names) {
    await page.select('#example', name);
    await page.waitForFunction((n) => playground.picked === n, { timeout: kTimeoutMs }, name);
    check(await page.evaluate(() => playground.result.errors) === 0, `the example ${name} compiles`);
  }
}

async function checkMessages(page) {
  await typeSource(page, kBroken);
  check(await messageAt(page, kBrokenLine) === kMessages.en, `the English message at line ${kBrokenLine}`);
  await page.select('#language', 'ja');
  check(await messageAt(page, kBrokenLine) === kMessages.ja, `the Japanese message at line ${kBrokenLine}`);
  await page.select('#language', 'en');
}

async function checkListingAndRun(page) {
  await typeSource(page, kFixed);
  check(await page.$('.cm-message-error') === null, 'no message once fixed');
  check((await page.$eval('#listing', (l) => l.textContent)).startsWith('module main.oxs: '), 'the listing once fixed');
  check(await page.evaluate(() => playground.source) === kFixed, 'the editor holds what was typed');
  await page.$eval('#script', (s, text) => { s.value = text; }, kScript);
  await page.click('#run');
  check(await page.$eval('#trace', (t) => t.textContent) === kTrace, 'the trace of the script');
}

async function checkDownload(page, work) {
  const downloads = path.join(work, 'downloads');
  fs.mkdirSync(downloads);
  const cdp = await page.target().createCDPSession();
  await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
  await page.click('#download');
  const file = path.join(downloads, 'main.oxb');
  for (let waited = 0; !fs.existsSync(file) && waited < kTimeoutMs; waited += 100) await new Promise((r) => setTimeout(r, 100));
  const expected = nativeModule(kFixed, work);
  check(fs.existsSync(file) && fs.readFileSync(file).equals(expected),
    `the downloaded module is the native build's ${expected.length} bytes`);
}

async function checkShare(browser, page) {
  await page.click('#share');
  await page.waitForFunction(() => document.getElementById('share-link').value !== '', { timeout: kTimeoutMs });
  const link = await page.$eval('#share-link', (l) => l.value);
  check(link.includes('#source='), 'the share link carries the source in its fragment');
  if (!link.includes('#source=')) return;
  const shared = await openPage(browser, link);
  check(await shared.evaluate(() => playground.source) === kFixed, 'the shared link gives the same source back');
  await shared.close();
}

async function checkRuntimeError(page) {
  await typeSource(page, kDivides);
  await page.click('#run');
  const shown = await page.$$eval('.cm-line', (all, n) => all[n - 1]?.querySelector('.cm-message-runtime')?.textContent, 4);
  check(shown === kRuntimeError, 'the runtime error at line 4');
}

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'playground-test-'));
const server = await serve(site, 0);
const browser = await puppeteer.launch({
  executablePath: kChromium, headless: 'new', args: [...kFlags, `--user-data-dir=${path.join(work, 'profile')}`],
});
try {
  const url = `http://127.0.0.1:${server.address().port}/`;
  const page = await openPage(browser, url);
  await page.setViewport({ width: 1280, height: 900 });
  const first = await page.evaluate(() => playground.compileMs[0]);
  const again = await page.evaluate(() => [1, 2, 3, 4, 5].map(() => (playground.compile(), playground.compileMs.at(-1))));
  console.log(`compiling examples/clock.oxs in the page: ${first.toFixed(2)} ms after load, ` +
    `then ${Math.min(...again).toFixed(2)} to ${Math.max(...again).toFixed(2)} ms`);
  await checkExamples(page);
  await checkMessages(page);
  await checkListingAndRun(page);
  await checkDownload(page, work);
  await checkShare(browser, page);
  await checkRuntimeError(page);
  await page.screenshot({ path: screenshot, fullPage: true });
  console.log(`screenshot: ${screenshot}`);
} finally {
  await browser.close();
  server.close();
  fs.rmSync(work, { recursive: true, force: true });
}
process.exit(failures === 0 ? 0 : 1);
