// The remote MCDU in a real browser with touch: the picture, the gauge's display on the canvas,
// key taps that reach the gauge through the pipe, and the display that follows them (on the Linux
// system only: the Windows gauge stand-in draws no display, see system.mjs).

import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';

import {
  artefactPath, displayFollowsKeys, kFixedDisplayReason, launchBrowser, sleep, startSystem, waitFor,
} from './system.mjs';

// A key press must show on the canvas within this time.
const kDisplayFollowsMs = 1000;

let system;
let browser;
let page;
let frame;

before(async () => {
  system = await startSystem({ name: 'mcdu' });
  browser = await launchBrowser();
  const context = await browser.newContext({
    viewport: { width: 980, height: 960 },
    hasTouch: true,
    deviceScaleFactor: 1,
  });
  page = await context.newPage();
});

after(async () => {
  if (browser) await browser.close();
  if (system) {
    const exits = await system.stop();
    assert.equal(exits.TarvelXConnectExtended, 0, `the program ends cleanly on ${system.endRequest}`);
  }
});

// What the canvas holds in the scratchpad, the display's last line of 24 character cells: per
// cell the pixels that are not transparent, its brightness and the shape of that brightness from
// top to bottom; a map of the occupied cells; and a fingerprint of all the line's pixels.
function scratchpad() {
  return frame.evaluate(() => {
    const canvas = document.getElementById('mcducanvas');
    const rows = 14;
    const columns = 24;
    const top = Math.ceil((canvas.height * (rows - 1)) / rows);
    const data = canvas.getContext('2d').getImageData(0, top, canvas.width, canvas.height - top).data;
    const cellWidth = canvas.width / columns;
    const lit = new Array(columns).fill(0);
    const ink = new Array(columns).fill(0);
    const rowsInk = Array.from({ length: columns }, () => new Array(canvas.height - top).fill(0));
    let hash = 0;
    for (let y = 0; y < canvas.height - top; ++y) {
      for (let x = 0; x < canvas.width; ++x) {
        const at = (y * canvas.width + x) * 4;
        hash = (Math.imul(hash, 31) + data[at] + 7 * data[at + 1] + 13 * data[at + 2] + 17 * data[at + 3]) | 0;
        const cell = Math.floor(x / cellWidth);
        // Brightness survives the scaling whatever a glyph's place between pixels.
        ink[cell] += data[at] + data[at + 1] + data[at + 2];
        rowsInk[cell][y] += data[at] + data[at + 1] + data[at + 2];
        // Only the inner part of a cell counts as lit, so that a glyph's smoothed edge is not
        // taken for its neighbour.
        const inCell = x / cellWidth - cell;
        if (data[at + 3] > 0 && inCell > 0.15 && inCell < 0.85) lit[cell] += 1;
      }
    }
    // A glyph's shape from top to bottom: how its ink spreads over the pixel rows of the line.
    const shape = rowsInk.map((row, cell) => row.map((value) => (ink[cell] ? value / ink[cell] : 0)));
    return { lit, ink, shape, hash, cells: lit.map((count) => (count > 4 ? '#' : '.')).join('') };
  });
}

// The centre of the key whose area calls `keyPath`, in the page's coordinates.
async function keyCentre(keyPath) {
  const frameBox = await page.locator('frame[name="frame_main"]').boundingBox();
  const centre = await frame.evaluate((wanted) => {
    const area = [...document.querySelectorAll('map[name="kb_map"] area')]
      .find((candidate) => candidate.getAttribute('onclick') === `parent.btn('${wanted}')`);
    if (!area) return null;
    const [x1, y1, x2, y2] = area.coords.split(',').map(Number);
    const image = document.querySelector('img[usemap="#kb_map"]').getBoundingClientRect();
    return { x: image.left + (x1 + x2) / 2, y: image.top + (y1 + y2) / 2 };
  }, keyPath);
  assert.ok(centre, `the map has an area for ${keyPath}`);
  return { x: frameBox.x + centre.x, y: frameBox.y + centre.y };
}

function gaugeCodes() {
  return [...system.gaugeLogText().matchAll(/GAUGE: code (\d+) \(/g)].map((match) => Number(match[1]));
}

// The scratchpad once it has stopped changing: the page's own refresh and a key page's fetches
// load the picture side by side, and one that left before the gauge wrote may land last.
async function settledScratchpad() {
  let last = await scratchpad();
  return waitFor(async () => {
    await sleep(300);
    const now = await scratchpad();
    const settled = now.hash === last.hash && now;
    last = now;
    return settled;
  }, 3000, 'the display to settle');
}

// Taps a key with one finger; resolves with the settled scratchpad once the gauge got the key's
// code, and checks that the canvas changed from `before` within a second of the tap. Where the
// display does not follow the keys, resolves with null once the gauge got the code.
async function tapKey(keyPath, code, before) {
  const codesBefore = gaugeCodes().length;
  const { x, y } = await keyCentre(keyPath);
  const tappedAt = Date.now();
  await page.touchscreen.tap(x, y);
  if (displayFollowsKeys) {
    await waitFor(async () => (await scratchpad()).hash !== before.hash, kDisplayFollowsMs * 3,
      `the display to change after ${keyPath}`);
    const elapsed = Date.now() - tappedAt;
    assert.ok(elapsed <= kDisplayFollowsMs, `the canvas followed ${keyPath} after ${elapsed} ms`);
  }
  await waitFor(() => gaugeCodes().length > codesBefore, 2000, `the gauge to get ${keyPath}`);
  assert.deepEqual(gaugeCodes().slice(codesBefore), [code], `the gauge got exactly code ${code}`);
  return displayFollowsKeys ? settledScratchpad() : null;
}

test('the MCDU page shows the picture and the gauge display', async () => {
  const response = await page.goto(system.baseUrl + '/MCDU');
  assert.equal(response.status(), 202);
  assert.equal(await page.title(), 'Quennick Tarvel MCDU');
  frame = page.frame({ name: 'frame_main' });
  assert.ok(frame, 'the page has its main frame');
  await frame.waitForFunction(() => {
    const image = document.querySelector('img[usemap="#kb_map"]');
    return image && image.complete && image.naturalWidth > 0;
  }, null, { timeout: 5000 });
  const picture = await frame.evaluate(() => {
    const image = document.querySelector('img[usemap="#kb_map"]');
    return { src: image.getAttribute('src'), width: image.naturalWidth, height: image.naturalHeight };
  });
  assert.equal(picture.src, 'mcdu_bg.jpg');
  assert.equal(picture.width, 576);
  assert.ok(picture.height > 902, 'the picture holds the lowest keys');
  assert.equal(await frame.locator('map[name="kb_map"] area').count(), 69);

  // The gauge's display is painted: the first line (the page title) has pixels that are not
  // transparent, and the black of the picture between the letters is.
  const painted = await frame.waitForFunction(() => {
    const canvas = document.getElementById('mcducanvas');
    const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    let lit = 0;
    for (let at = 3; at < data.length; at += 4) if (data[at] > 0) lit += 1;
    return lit > 0 && { lit, total: data.length / 4 };
  }, null, { timeout: 5000 }).then((handle) => handle.jsonValue());
  assert.ok(painted.lit < painted.total / 2, 'dark parts of the display are transparent');

  // The canvas lies over the picture's screen area.
  const placement = await frame.evaluate(() => {
    const canvas = document.getElementById('mcducanvas').getBoundingClientRect();
    const image = document.querySelector('img[usemap="#kb_map"]').getBoundingClientRect();
    return { x: canvas.left - image.left, y: canvas.top - image.top, width: canvas.width, height: canvas.height };
  });
  assert.deepEqual(placement, { x: 103, y: 72, width: 370, height: 364 });
});

test('a tap on a key reaches the gauge and the display follows', async (t) => {
  const empty = await settledScratchpad();
  assert.equal(empty.cells, '.'.repeat(24), 'the scratchpad starts empty');
  const withA = await tapKey('/MCDU_KB_39', 39, empty);
  assert.match(system.gaugeLogText(), /GAUGE: code 39 \(A\)/);
  const cleared = await tapKey('/MCDU_KB_68', 68, withA);
  assert.match(system.gaugeLogText(), /GAUGE: code 39 \(A\)[^]*GAUGE: code 68 \(CLR\)/);
  if (!displayFollowsKeys) {
    t.diagnostic(`the display's answer to the keys not checked: ${kFixedDisplayReason}`);
    return;
  }
  assert.equal(withA.cells, '#' + '.'.repeat(23), 'one character in the scratchpad');
  assert.equal(cleared.cells, '.'.repeat(24), 'CLR empties the scratchpad');
  assert.equal(cleared.hash, empty.hash, 'the scratchpad looks as it did before');
});

test('a word typed on the keys shows in the scratchpad', async (t) => {
  const codesBefore = gaugeCodes().length;
  let shown = await settledScratchpad();
  assert.equal(shown.cells, '.'.repeat(24));
  const steps = [];
  for (const [keyPath, code] of [['/MCDU_KB_43', 43], ['/MCDU_KB_45', 45], ['/MCDU_KB_50', 50], ['/MCDU_KB_50', 50]]) {
    shown = await tapKey(keyPath, code, shown);
    steps.push(shown);
  }
  if (!displayFollowsKeys) {
    // No settling display to wait on: a duplicate would come right behind the last key.
    await sleep(300);
    assert.deepEqual(gaugeCodes().slice(codesBefore), [43, 45, 50, 50]);
    assert.match(system.gaugeLogText(), /code 43 \(E\)[^]*code 45 \(G\)[^]*code 50 \(L\)[^]*code 50 \(L\)/);
    t.diagnostic(`the word on the display not checked: ${kFixedDisplayReason}`);
    await page.screenshot({ path: artefactPath('mcdu.png'), fullPage: true });
    return;
  }
  // E, G, L, L: one more character each time, the earlier ones left as they were.
  assert.deepEqual(steps.map((step) => step.cells),
    ['#...', '##..', '###.', '####'].map((start) => start + '.'.repeat(20)));
  for (let i = 1; i < steps.length; ++i) {
    assert.deepEqual(steps[i].ink.slice(0, i), steps[i - 1].ink.slice(0, i), `characters before ${i + 1} stay`);
  }
  // The same letter twice has the same shape; different letters differ.
  const word = steps[3].shape;
  const distance = (a, b) => word[a].reduce((sum, share, row) => sum + Math.abs(share - word[b][row]), 0);
  assert.ok(distance(2, 3) < 0.05, `the two L alike (${distance(2, 3)})`);
  for (const [a, b, what] of [[0, 1, 'E and G'], [0, 2, 'E and L'], [1, 2, 'G and L']]) {
    assert.ok(distance(a, b) > 0.15, `${what} differ (${distance(a, b)})`);
  }
  assert.deepEqual(gaugeCodes().slice(codesBefore), [43, 45, 50, 50]);
  assert.match(system.gaugeLogText(), /code 43 \(E\)[^]*code 45 \(G\)[^]*code 50 \(L\)[^]*code 50 \(L\)/);
  await page.screenshot({ path: artefactPath('mcdu.png'), fullPage: true });
});
