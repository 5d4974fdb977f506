// Loads the demo page in headless Chromium and checks what a reader sees:
// every thumbnail 240 pixels wide in its page's shape, the viewer
// turning the three-page file to its last page, the fax in its true shape
// upright and turned, and the form answering with a GIF.
//   node demo_page.mjs URL SCREENSHOT.png   (the viewer goes to SCREENSHOT-viewer.png)
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { chromium } from 'playwright-core';

const [url, screenshot] = process.argv.slice(2);
const profile = mkdtempSync(join(tmpdir(), 'ostrel-chromium-'));
const context = await chromium.launchPersistentContext(profile, {
  executablePath: '/usr/bin/chromium',
  headless: true,
  viewport: { width: 1280, height: 900 },
  // The machine has no network: background services would only fail.
  args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
         '--disable-component-update', '--disable-sync', '--disable-quic', '--no-first-run'],
});
const failures = [];
let passed = 0;
function check(ok, text) {
  passed += ok ? 1 : 0;
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${text}`);
  if (!ok) failures.push(text);
}
// Width over height of a page drawn with square pixels.
const trueShape = (s) => (s.width / s.xDpi) / (s.height / s.yDpi);
// The shape a plain GIF of the page has: square pixels where the two
// resolutions differ by a factor of 1.2 or more, the stored pixels below.
const viewShape = (s) => (Math.max(s.xDpi / s.yDpi, s.yDpi / s.xDpi) >= 1.2 ? trueShape(s)
                                                                          : s.width / s.height);
const within2Percent = (shape, expected) => Math.abs(shape / expected - 1) <= 0.02;

// Waits for the viewer to show `status` and its picture to be decoded.
async function viewerShows(page, status) {
  await page.waitForFunction((wanted) => {
    const picture = document.getElementById('picture');
    return document.getElementById('status').textContent === wanted &&
           picture.complete && picture.naturalWidth > 0;
  }, status);
  return page.$eval('#picture', (img) => ({
    src: img.getAttribute('src'),
    width: img.naturalWidth,
    height: img.naturalHeight,
    stageWidth: document.getElementById('stage').clientWidth,
  }));
}

try {
  const page = context.pages()[0] ?? await context.newPage();
  page.setDefaultTimeout(60000);
  await page.goto(url, { waitUntil: 'load' });
  const samples = await page.$$eval('.samples img', (all) => all.map((img) => ({
    name: new URL(img.src).searchParams.get('FN'),
    complete: img.complete,
    naturalWidth: img.naturalWidth,
    naturalHeight: img.naturalHeight,
    width: Number(img.dataset.width),
    height: Number(img.dataset.height),
    xDpi: Number(img.dataset.xDpi),
    yDpi: Number(img.dataset.yDpi),
  })));
  check(samples.length >= 4, `the demo page shows ${samples.length} samples`);
  for (const s of samples) {
    const shape = s.naturalWidth / s.naturalHeight;
    check(s.complete && s.naturalWidth === 240 && within2Percent(shape, viewShape(s)),
          `thumbnail ${s.name}: ${s.naturalWidth} x ${s.naturalHeight}` +
          ` (TIFF ${s.width} x ${s.height} at ${s.xDpi} x ${s.yDpi} dpi)`);
  }
  await page.screenshot({ path: screenshot, fullPage: true });
  console.log(`screenshot: ${screenshot}`);

  // The three-page file, in a window narrower than its pages, turned to its
  // last page by keyboard.
  await page.setViewportSize({ width: 1000, height: 800 });
  const threePages = samples.find((s) => s.name === 'three-pages');
  await Promise.all([page.waitForNavigation(),
                     page.click('.samples a:has(img[src*="FN=three-pages&"])')]);
  let picture = await viewerShows(page, 'page 1 of 3');
  const fitted = Math.min(threePages.width, Math.ceil(picture.stageWidth / 100) * 100);
  check(picture.width === fitted && picture.width < threePages.width,
        `page 1 is ${picture.width} wide: the stage's ${picture.stageWidth} rounded up to 100`);
  await page.keyboard.press('ArrowRight');
  await viewerShows(page, 'page 2 of 3');
  await page.keyboard.press('ArrowRight');
  picture = await viewerShows(page, 'page 3 of 3');
  await page.screenshot({ path: screenshot.replace(/\.png$/, '-viewer.png') });
  check(new URL(picture.src, url).searchParams.get('Page') === '3',
        `after two right arrows the viewer shows ${picture.src}`);
  check(await page.$eval('#next', (button) => button.disabled), 'next is disabled on page 3');
  const full = await page.$eval('#full-size', async (link) => {
    const response = await fetch(link.href);
    return { href: link.getAttribute('href'), type: response.headers.get('content-type') };
  });
  check(full.type === 'image/gif' && full.href.includes('Page=3') && !full.href.includes('Width'),
        `the full-size link ${full.href} answers ${full.type}`);

  // The fax, in its true shape upright and turned a quarter.
  await page.goBack();
  const fax = samples.find((s) => s.name === 'fax');
  await Promise.all([page.waitForNavigation(),
                     page.click('.samples a:has(img[src*="FN=fax&"])')]);
  picture = await viewerShows(page, 'page 1 of 1');
  check(within2Percent(picture.width / picture.height, trueShape(fax)),
        `the fax shows as ${picture.width} x ${picture.height}, shape ${trueShape(fax).toFixed(3)}`);
  await page.click('#rotate-right');
  await page.waitForFunction(() => document.getElementById('picture').src.includes('Rotate=90'));
  picture = await viewerShows(page, 'page 1 of 1');
  check(within2Percent(picture.height / picture.width, trueShape(fax)),
        `turned right, the fax shows as ${picture.width} x ${picture.height}`);

  // The form, with its empty Page and Width fields.
  await page.goto(url, { waitUntil: 'load' });
  const [response] = await Promise.all([
    page.waitForNavigation(),
    page.click('form button[type=submit]'),
  ]);
  const type = response.headers()['content-type'];
  check(response.status() === 200 && type === 'image/gif', `the form answers ${type}`);
} catch (error) {
  failures.push(String(error));
} finally {
  await context.close();
  rmSync(profile, { recursive: true, force: true });
}
for (const failure of failures) console.error(`FAIL: ${failure}`);
console.log(`${passed} passed, ${failures.length} failed`);
process.exit(failures.length === 0 ? 0 : 1);
