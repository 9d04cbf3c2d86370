// The pages' scripts in a real browser (Debian's chromium, driven by playwright-core) against the
// Linux program and its stand-ins: the remote MCDU's picture, display and taps. (The status page
// has no script: its bytes are the golden files', its values and Pause link program.test.mjs's.)
// Without chromium or playwright-core it ends with the skip code (77) that CTest is told about;
// scripts/install-deps.sh --test installs both. Screenshots and logs go to <build>/artefacts/.
//   TX_BUILD_DIR=$PWD/build node tests/browser/pages.test.mjs

import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, test } from 'node:test';

import { waitFor } from '../support/harness.mjs';
import { System } from '../support/system_linux.mjs';

const kChromium = '/usr/bin/chromium';
const playwright = await import('playwright-core').catch(() => null);
if (!playwright || !fs.existsSync(kChromium)) {
  console.log('Browser tests skipped: they need chromium and playwright-core (scripts/install-deps.sh --test).');
  process.exit(77);
}

let system;
let browser;

before(async () => {
  system = await System.start({ name: 'browser' });
  // Host names other than the loopback address resolve to nothing: the browser never leaves here.
  browser = await playwright.chromium.launch({
    executablePath: kChromium,
    args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking', '--no-proxy-server',
      '--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1'],
  });
});

after(async () => {
  await browser?.close();
  if (system) assert.equal((await system.stop()).exit, 0, 'the program ends cleanly');
});

// The canvas: how many of its pixels are painted, and a fingerprint of them all.
function display(frame) {
  return frame.evaluate(() => {
    const canvas = document.getElementById('mcducanvas');
    const data = [...canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data];
    return { lit: data.filter((value, at) => at % 4 === 3 && value > 0).length, total: data.length / 4,
      hash: data.reduce((hash, value) => (Math.imul(hash, 31) + value) | 0, 0) };
  });
}

async function tap(page, code) {
  const key = `/MCDU_KB_${String(code).padStart(2, '0')}`;
  const answered = page.waitForResponse((response) => new URL(response.url()).pathname === key);
  await page.touchscreen.tap(page.keys.get(key).x, page.keys.get(key).y);
  assert.match(await (await answered).text(), /parent\.frame_main\.paintDisplay/, `${key} is the key page`);
}

test('the MCDU page: the picture, its keys, the display on the canvas; a tap reaches the gauge and shows', async () => {
  const page = await (await browser.newContext({ deviceScaleFactor: 1, viewport: { width: 980, height: 960 }, hasTouch: true })).newPage();
  // Whatever counts as an error on it. A frame or picture that moves on to its next address cancels
  // its load: the pages' own doing.
  const errors = [];
  page.on('requestfailed', (request) => request.failure()?.errorText !== 'net::ERR_ABORTED' &&
    errors.push(`${request.url()}: ${request.failure()?.errorText}`));
  page.on('response', (response) => response.status() >= 400 && errors.push(`${response.url()}: ${response.status()}`));
  // The page's head loads the display picture before its body has made the canvas: on a busy
  // machine that first paint finds no canvas (the next one paints it), while the page opens only.
  let opening = true;
  page.on('pageerror', (e) => !(opening && /at paintDisplay .*\n\s*at i\.onload/.test(e.stack)) && errors.push(e.stack));
  // The page with its picture loaded; `keys` maps each key's path to its centre on the page.
  assert.equal((await page.goto(`http://127.0.0.1:${system.port}/MCDU`)).status(), 202);
  const frame = page.frame({ name: 'frame_main' });
  await frame.waitForFunction(() => document.querySelector('img[usemap="#kb_map"]')?.naturalWidth > 0);
  opening = false;
  const box = await page.locator('frame[name="frame_main"]').boundingBox();
  const { keys, canvas } = await frame.evaluate(() => {
    const place = document.querySelector('img[usemap="#kb_map"]').getBoundingClientRect();
    const canvas = document.getElementById('mcducanvas');
    const at = canvas.getBoundingClientRect();
    const keys = [...document.querySelectorAll('map[name="kb_map"] area')].map((area) => {
      const [x1, y1, x2, y2] = area.coords.split(',').map(Number);
      return [/btn\('([^']*)'\)/.exec(area.getAttribute('onclick'))[1], { x: place.left + (x1 + x2) / 2, y: place.top + (y1 + y2) / 2 }];
    });
    return { canvas: [at.left - place.left, at.top - place.top, canvas.width, canvas.height], keys };
  });
  page.keys = new Map(keys.map(([key, { x, y }]) => [key, { x: box.x + x, y: box.y + y }]));
  // The display over the picture's screen. (The picture's size and its keys under the map: the
  // picture test; the map's 69 areas: the page's golden file.)
  assert.deepEqual(canvas, [103, 72, 370, 364]);
  const empty = await waitFor(async () => ((shown) => shown.lit > 0 && shown)(await display(frame)), 10000, 'a display');
  assert.ok(empty.lit < empty.total / 2, 'the dark parts of the display are transparent');

  await tap(page, 39);
  await waitFor(async () => (await display(frame)).hash !== empty.hash, 10000, 'the display to show A');
  await tap(page, 68);
  await waitFor(async () => (await display(frame)).hash === empty.hash, 10000, 'CLR to empty the scratchpad');
  // The codes of the keys the gauge got (the flight-start probe, 254, is the program's own).
  assert.deepEqual([...system.gaugeLog().matchAll(/GAUGE: code (\d+) \(/g)].map((m) => Number(m[1])).filter((c) => c !== 254), [39, 68]);
  assert.deepEqual(errors, []);
});
