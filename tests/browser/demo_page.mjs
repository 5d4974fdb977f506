// Loads the demo page in headless Chromium, checks that every sample image
// decoded at its TIFF's size, and that the form answers with a GIF.
//   node demo_page.mjs URL SCREENSHOT.png
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
try {
  const page = context.pages()[0] ?? await context.newPage();
  page.setDefaultTimeout(60000);
  await page.goto(url, { waitUntil: 'load' });
  const images = await page.$$eval('img', (all) => all.map((img) => ({
    src: img.getAttribute('src'),
    complete: img.complete,
    width: img.naturalWidth,
    height: img.naturalHeight,
    expectedWidth: Number(img.dataset.width),
    expectedHeight: Number(img.dataset.height),
  })));
  if (images.length === 0) failures.push('the demo page shows no image');
  for (const image of images) {
    const ok = image.complete && image.width === image.expectedWidth &&
               image.height === image.expectedHeight;
    console.log(`${ok ? 'ok  ' : 'FAIL'} ${image.src}: ${image.width} x ${image.height}` +
                ` (TIFF ${image.expectedWidth} x ${image.expectedHeight})`);
    if (!ok) failures.push(`${image.src} did not decode at its TIFF's size`);
  }
  await page.screenshot({ path: screenshot, fullPage: true });
  console.log(`screenshot: ${screenshot}`);

  const [response] = await Promise.all([
    page.waitForNavigation(),
    page.click('form button[type=submit]'),
  ]);
  const type = response.headers()['content-type'];
  console.log(`form: ${response.status()} ${type}`);
  if (response.status() !== 200 || type !== 'image/gif') failures.push(`the form answered ${type}`);
} finally {
  await context.close();
  rmSync(profile, { recursive: true, force: true });
}
for (const failure of failures) console.error(`FAIL: ${failure}`);
console.log(`${failures.length === 0 ? 1 : 0} passed, ${failures.length === 0 ? 0 : 1} failed`);
process.exit(failures.length === 0 ? 0 : 1);
