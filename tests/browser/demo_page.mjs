// Loads the demo page in headless Chromium and checks what a reader sees:
// every thumbnail 240 pixels wide in its page's shape, the viewer
// turning the three-page file to its last page, the fax in its true shape
// upright and turned, the drawing zoomed in to tiles at full resolution,
// and the form answering with a GIF.
//   node demo_page.mjs URL SCREENSHOT.png
// (the viewer goes to SCREENSHOT-viewer.png, the zoomed drawing to SCREENSHOT-zoom.png)
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

// Waits for the viewer to show `status` with its page opened and every
// tile it needs drawn, and describes what it shows.
async function viewerShows(page, status) {
  await page.waitForFunction((wanted) => {
    const viewer = window.ostrelViewer;
    const image = viewer?.world.getItemAt(0);
    return document.getElementById('status').textContent === wanted && image &&
           image.getFullyLoaded() &&
           Math.abs(viewer.viewport.getRotation() - viewer.viewport.getRotation(true)) < 0.01;
  }, status);
  return page.evaluate(() => {
    const viewer = window.ostrelViewer;
    const image = viewer.world.getItemAt(0);
    const size = image.getContentSize();
    return {
      source: image.source.id,
      width: size.x,
      height: size.y,
      rotation: viewer.viewport.getRotation(),
      // Screen pixels per stored pixel.
      scale: image.viewportToImageZoom(viewer.viewport.getZoom(true)),
    };
  });
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

  // Every request the viewer makes, with its answer.
  const answers = [];
  page.on('response', (response) => answers.push({
    url: decodeURIComponent(new URL(response.url()).pathname),
    status: response.status(),
    type: response.headers()['content-type'] ?? '',
  }));

  // The three-page file turned to its last page by keyboard.
  await Promise.all([page.waitForNavigation(),
                     page.click('.samples a:has(img[src*="FN=three-pages&"])')]);
  let shown = await viewerShows(page, 'page 1 of 3');
  check(shown.source.endsWith('/iiif/3/three-pages;1'), `page 1 opens ${shown.source}`);
  await page.keyboard.press('ArrowRight');
  await viewerShows(page, 'page 2 of 3');
  await page.keyboard.press('ArrowRight');
  shown = await viewerShows(page, 'page 3 of 3');
  await page.screenshot({ path: screenshot.replace(/\.png$/, '-viewer.png') });
  check(shown.source.endsWith('/iiif/3/three-pages;3'),
        `after two right arrows the viewer shows ${shown.source}`);
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
  shown = await viewerShows(page, 'page 1 of 1');
  check(within2Percent(shown.width / shown.height, trueShape(fax)),
        `the fax shows as ${shown.width} x ${shown.height}, shape ${trueShape(fax).toFixed(3)}`);
  await page.click('#rotate-right');
  await page.waitForFunction(() => window.ostrelViewer.viewport.getRotation() === 90);
  shown = await viewerShows(page, 'page 1 of 1');
  const turnedLink = await page.$eval('#full-size', (link) => link.getAttribute('href'));
  check(shown.rotation === 90 && turnedLink.includes('Rotate=90'),
        `turned right, the fax shows at ${shown.rotation} degrees, full size ${turnedLink}`);

  // The drawing, zoomed in by keyboard and then by the wheel to its stored
  // pixels: what shows are tiles at full resolution, never the whole page at
  // full size.
  await page.goBack();
  const drawing = samples.find((s) => s.name === 'drawing');
  check(drawing !== undefined && drawing.width >= 6000, 'the samples hold a large drawing');
  await Promise.all([page.waitForNavigation(),
                     page.click('.samples a:has(img[src*="FN=drawing&"])')]);
  shown = await viewerShows(page, 'page 1 of 1');
  const whole = shown.scale;
  check(whole < 0.25, `the drawing opens whole, ${whole.toFixed(3)} screen pixels each`);
  answers.length = 0;
  const settled = () => page.waitForFunction(() => {
    const viewport = window.ostrelViewer.viewport;
    return Math.abs(viewport.getZoom(true) / viewport.getZoom() - 1) < 0.001;
  });
  await page.keyboard.press('+');
  await settled();
  shown = await viewerShows(page, 'page 1 of 1');
  check(shown.scale > whole * 1.5, `+ zooms in: ${whole.toFixed(3)} to ${shown.scale.toFixed(3)}`);
  const box = await page.$eval('#stage', (stage) => {
    const r = stage.getBoundingClientRect();
    return { x: r.x + r.width / 2, y: r.y + r.height / 2 };
  });
  await page.mouse.move(box.x, box.y);
  for (let i = 0; i < 60 && shown.scale < 1; ++i) {
    await page.mouse.wheel(0, -200);
    await settled();
    shown = await page.evaluate(() => {
      const viewer = window.ostrelViewer;
      return { scale: viewer.world.getItemAt(0).viewportToImageZoom(viewer.viewport.getZoom()) };
    });
  }
  shown = await viewerShows(page, 'page 1 of 1');
  check(shown.scale >= 1, `zoomed in, ${shown.scale.toFixed(2)} screen pixels per stored pixel`);
  await page.screenshot({ path: screenshot.replace(/\.png$/, '-zoom.png') });
  const tile = /\/iiif\/3\/drawing;1\/(\d+),(\d+),(\d+),(\d+)\/(\d+),(\d+)\/0\/default\.(png|jpg)$/;
  const fullScale = answers.filter((answer) => {
    const m = tile.exec(answer.url);
    return m && m[3] === m[5] && m[4] === m[6];
  });
  const good = fullScale.filter((a) => a.status === 200 && /^image\/(png|jpeg)$/.test(a.type));
  check(good.length > 0 && good.length === fullScale.length,
        `${good.length} of ${fullScale.length} tiles at full resolution answered 200 with an image` +
        (fullScale.length > 0 ? `, e.g. ${fullScale[0].url}` : ''));
  const wholePages = answers.filter((answer) => /\/full\/max\//.test(answer.url));
  check(wholePages.length === 0, `no request for a whole page at full size (${wholePages.length})`);

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
