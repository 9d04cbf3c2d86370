// The Windows program's window under Wine, on the prefix's X display, driven as a user would with
// the pointer and the keys: where it stands, what it shows (pixel for pixel the pictures of the
// program's resources), the lamp following the simulator, the exit strip's highlight, a drag, the
// system menu's About entry and its box, minimising and restoring, the address strip opening the
// browser stub, the exit strip, Enter and Escape; the window at 144 dots per inch. The screenshots
// stay as artefacts.

import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, test } from 'node:test';

import {
  artefactsDir, boxCloserExe, runWindows, sleep, waitFor, windowsBuildDir,
} from '../program/winsystem.mjs';
import {
  expectedPlace, kAddressLink, kExitButton, kLabelArea, kOnlinePicture, kSize, ProgramWindow, probe,
  windowRect,
} from './winwindow.mjs';
import { isLabelGreen, Rgb, XDisplay } from './xdisplay.mjs';

const x = new XDisplay(process.env.DISPLAY);
const resDir = path.join(windowsBuildDir, 'res');
const picture = (name) => Rgb.fromBmp(path.join(resDir, `${name}.bmp`));
const skin = picture('skin_129');
const lamp = { offline: picture('BITMAP_BTNONLINE_0'), online: picture('BITMAP_BTNONLINE_1') };
const exit = { normal: picture('BITMAP_BTNEXIT_0'), lit: picture('BITMAP_BTNEXIT_1') };

let run;
after(async () => {
  if (run) assert.deepEqual(await run.stop(), [], 'no Windows program of the test is left');
});

// The face the window must show: the skin with the lamp and the exit strip in their places.
function expectedFace(online, lit) {
  return skin.withPicture(online ? lamp.online : lamp.offline, kOnlinePicture.left, kOnlinePicture.top)
    .withPicture(lit ? exit.lit : exit.normal, kExitButton.left, kExitButton.top);
}

// A screenshot kept as artefact `label`, and the window's part of it.
function face(label, place) {
  const file = path.join(artefactsDir, `windows_window-${label}.png`);
  return x.screenshot(file, { left: place.x, top: place.y, right: place.x + kSize, bottom: place.y + kSize });
}

// Waits until the window shows the expected face outside the label's area (or `excluded`); the last
// screenshot is the artefact. Throws with the first differing pixel.
async function waitForFace(label, place, online, lit, excluded = kLabelArea) {
  const expected = expectedFace(online, lit);
  let last;
  try {
    await waitFor(() => {
      last = face(label, place).differencesOutside(expected, excluded);
      return last.count === 0;
    }, 8000, `the ${label} face`);
  } catch (error) {
    throw new Error(`${error.message}: ${last?.count} pixels differ, first ${JSON.stringify(last?.first)}`);
  }
  return face(label, place);
}

const screen = (place, point) => [place.x + point[0], place.y + point[1]];

test('the window: its place, its face, the lamp, the strips, a drag, the system menu, minimised', async () => {
  run = await ProgramWindow.start('window');
  fs.mkdirSync(artefactsDir, { recursive: true });

  // Placed from the full-screen client area's size, 320 x 320 with no frame: the skin covers it.
  const place = expectedPlace(probe('metrics'));
  const rect = windowRect();
  assert.deepEqual([rect.left, rect.top, rect.right, rect.bottom], [place.x, place.y, place.x + kSize, place.y + kSize]);
  assert.deepEqual(probe('window', 'TarvelX Load Manager').CLIENT, [kSize, kSize]);
  await x.move(5, 5);  // the pointer off the window

  // Offline: the red lamp; the address label in its strip, in 0x12FF00 semi-bold Tahoma.
  let shot = await waitForFace('offline', place, false, false);
  const label = shot.count(kLabelArea, isLabelGreen);
  assert.ok(label >= 60, `${label} green pixels in the label's strip`);
  assert.ok(shot.count(kLabelArea, ([r, g, b]) => r === 0x12 && g === 0xFF && b === 0x00) > 0,
    'the label\'s own colour, red 0x12, green 0xFF, blue 0x00');
  // 10 points at the screen's 96 pixels per inch: digits 9 to 10 pixels high.
  assert.deepEqual(probe('metrics').LOGPIXELSY, [96]);
  const rows = shot.rows(kLabelArea, ([r, g, b]) => r === 0x12 && g === 0xFF && b === 0x00);
  const height = rows.last - rows.first + 1;
  assert.ok(height >= 8 && height <= 11, `label ${height} pixels high`);

  // The simulator comes: green. Its window goes: red again.
  await run.simulate();
  await run.waitForLog('FSX online.\n');
  await waitForFace('online', place, true, false);
  await run.endSimulator();
  await run.waitForLog('FSX offline.\n');
  await waitForFace('offline-again', place, false, false);

  // The pointer over the exit strip lights it up; over the address strip it stays lit; anywhere
  // else it goes back.
  await x.move(...screen(place, [280, 255]));
  await waitForFace('exit-lit', place, false, true);
  await x.move(...screen(place, [240, 289]));
  await sleep(300);
  assert.equal(face('exit-lit-over-address', place).differencesOutside(expectedFace(false, true), kLabelArea).count, 0);
  await x.move(...screen(place, [150, 150]));
  await waitForFace('exit-normal', place, false, false);

  // A press on the lamp drags the window by the pointer's movement.
  await x.press();
  await x.move(...screen(place, [170, 165]));
  await x.move(...screen(place, [190, 180]));
  await x.release();
  const moved = windowRect();
  assert.deepEqual([moved.left, moved.top], [place.x + 40, place.y + 30], 'moved with the pointer');
  const dragged = { x: place.x + 40, y: place.y + 30 };
  await waitForFace('dragged', dragged, false, false);
  assert.equal(run.openedUrls(), '', 'a press on the lamp opens nothing');

  // The system menu (Alt+Space on the window, which the press made active): its last entry is the
  // About entry, which opens the About box over the window.
  await x.key('alt+space', 'Up', 'Return');
  const closer = runWindows(boxCloserExe, ['--caption', 'About program', '--timeout-ms', '15000'], 30000);
  assert.equal(closer.status, 0, `${closer.stdout}${closer.stderr}`);
  assert.match(closer.stdout, /BOX: text TarvelX Connect Extended\. v\.1\.2\.x\.x\.\r?\n/);
  assert.match(closer.stdout, /BOX: text Remote MCDU and flight data\.\r?\n/);
  assert.match(closer.stdout, /BOX: closed/);
  await waitFor(() => windowRect().enabled, 5000, 'the window enabled again');

  // Minimised from the system menu: the window keeps its icon (green lamp and waves) where the
  // system shows it; restored, it is back in its place with its face.
  await x.click(...screen(dragged, [150, 150]));
  await x.key('alt+space', 'n');
  await waitFor(() => windowRect().iconic, 5000, 'the window minimised');
  const iconic = windowRect();
  const bar = x.screenshot(path.join(artefactsDir, 'windows_window-minimised.png'), iconic);
  const iconArea = { left: 0, top: 0, right: Math.min(32, bar.width), bottom: bar.height };
  assert.ok(bar.count(iconArea, isLabelGreen) > 5, 'the program\'s icon on the minimised window');
  await x.click(iconic.left + 60, iconic.top + 10);
  await x.key('alt+space', 'r');
  await waitFor(() => !windowRect().iconic, 5000, 'the window restored');
  const restored = windowRect();
  assert.deepEqual([restored.left, restored.top], [dragged.x, dragged.y]);
  shot = await waitForFace('restored', dragged, false, false);
  assert.ok(shot.count(kLabelArea, isLabelGreen) >= 60, 'the label drawn into the skin stays');

  // The address strip: the shell hands the status page's URL to the browser (the stub here).
  await x.click(...screen(dragged, [240, 289]));
  const ip = /Webbrowser IP: ([\d.]+)\.\n/.exec(run.log())?.[1];
  assert.ok(ip, 'the address the log names');
  const url = `http://${ip}:${run.port}`;
  await waitFor(() => run.openedUrls().endsWith('\n'), 15000, 'the browser stub');
  // winebrowser hands the browser the URL with the root path's slash written out.
  assert.match(run.openedUrls(), new RegExp(`^${url.replaceAll('.', '\\.')}/?\\n$`));
  await run.waitForLog(`Webbrowser launched: ${url}.\n`);
  assert.ok(run.program.running);

  // The exit strip ends the program in its order, the END line last.
  await x.click(...screen(dragged, [280, 255]));
  run.program.stopping = true;
  assert.equal(await run.program.waitExit(20000), 0);
  assert.match(run.log(), /\]: TarvelXConnectExtended\.exe: END\.\n$/);
  assert.equal(windowRect(), null, 'the window is gone');
});

for (const key of ['Escape', 'Return']) {
  test(`${key} on the window ends the program`, async () => {
    const keyRun = await ProgramWindow.start(`key-${key}`);
    try {
      const place = expectedPlace(probe('metrics'));
      // A press without a move gives the window the keyboard focus and nothing else.
      await x.click(place.x + 150, place.y + 150);
      assert.ok(keyRun.program.running, 'a press on the lamp leaves it running');
      await x.key(key);
      keyRun.program.stopping = true;
      assert.equal(await keyRun.program.waitExit(20000), 0);
      assert.match(keyRun.log(), /\]: TarvelXConnectExtended\.exe: END\.\n$/);
    } finally {
      assert.deepEqual(await keyRun.stop(), [], 'no Windows program of the test is left');
    }
  });
}

// The display's dots per inch, as Wine 8 keeps Windows' scale setting: read by each program as it
// starts, before HKEY_CURRENT_CONFIG\Software\Fonts's value (tried: with both set, this one wins).
const kDesktopKey = 'HKCU\\Control Panel\\Desktop';

function setLogPixels(value) {
  const result = value === undefined
    ? runWindows('reg', ['delete', kDesktopKey, '/v', 'LogPixels', '/f'])
    : runWindows('reg', ['add', kDesktopKey, '/v', 'LogPixels', '/t', 'REG_DWORD', '/d', String(value), '/f']);
  if (result.status !== 0) throw new Error(`reg LogPixels ${value}: ${result.stdout} ${result.stderr}`);
}

// Windows at 150 %. The manifest declares the program not DPI aware, so Windows tells it 96 and
// stretches its finished 320 x 320 face to 480 x 480. Wine 8 does neither: it tells every program
// the setting's 144, whatever its manifest says, and scales no window (tried with the manifest's
// dpiAware true and false: the same pictures). So this shows what the program draws when told 144,
// as it would be on Windows if it declared itself aware: the skin and its pictures pixel for pixel
// as at 96, placed in pixels; only the label's font, sized from the system's dots per inch, grows,
// within the strip's rows and, with a long enough address, past the strip's ends (the window's
// edge cuts it).
test('at 144 dots per inch the face stays 320 x 320 and only the label grows', async () => {
  const query = runWindows('reg', ['query', kDesktopKey, '/v', 'LogPixels']);
  const previous = query.status === 0 ? Number(/REG_DWORD\s+(0x[0-9a-f]+)/i.exec(query.stdout)?.[1]) : undefined;
  setLogPixels(144);
  let dpiRun;
  try {
    dpiRun = await ProgramWindow.start('dpi-144');
    fs.mkdirSync(artefactsDir, { recursive: true });
    const metrics = probe('metrics');
    assert.deepEqual(metrics.LOGPIXELSY, [144], 'the setting reached the programs');
    const place = expectedPlace(metrics);
    const rect = windowRect();
    assert.deepEqual([rect.left, rect.top, rect.right, rect.bottom], [place.x, place.y, place.x + kSize, place.y + kSize]);
    assert.deepEqual(probe('window', 'TarvelX Load Manager').CLIENT, [kSize, kSize]);
    await x.move(5, 5);
    const labelRows = { left: 0, top: kLabelArea.top, right: kSize, bottom: kLabelArea.bottom };
    const shot = await waitForFace('dpi-144', place, false, false, labelRows);
    // 10 points at 144 pixels per inch: digits half as high again as at 96.
    const rows = shot.rows(labelRows, ([r, g, b]) => r === 0x12 && g === 0xFF && b === 0x00);
    const height = rows.last - rows.first + 1;
    assert.ok(height >= 13 && height <= 17, `label ${height} pixels high`);
  } finally {
    if (dpiRun) assert.deepEqual(await dpiRun.stop(), [], 'no Windows program of the test is left');
    setLogPixels(previous);
  }
});
