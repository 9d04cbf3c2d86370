// The program's window on a real X server, driven as a user would with the pointer and the keys:
// where it stands, its face pixel for pixel the skin with the lamp and exit-strip pictures of the
// build's resources (all but the address label's area), the label's own green, the lamp following
// the simulator, the exit strip lit under the pointer, a drag by the lamp, the address strip
// opening the browser stub (a script that writes its argument down; never a real browser), the
// exit strip, Enter and Escape; under Wine also the About box from the system menu. The same test
// for the Linux program on a private Xvfb and (TX_SYSTEM=windows) the Windows program under Wine
// on the display that scripts/windows-test.sh made for its prefix.

import assert from 'node:assert/strict';
import path from 'node:path';
import { after, test } from 'node:test';

import { sleep, waitFor } from '../../support/harness.mjs';
import { readPicture, startXvfb, XDisplay } from './xdisplay.mjs';

const onWindows = process.env.TX_SYSTEM === 'windows';
const { binDir, runWindows, System } = await import(`../../support/system_${onWindows ? 'win32' : 'linux'}.mjs`);
const kSize = 320;
const picture = (name) => readPicture(path.join(binDir, '..', 'res', `${name}.bmp`));
// Where the label's letters may reach: centred on one line, a few pixels above and below its strip.
const kLabelArea = { left: 160, top: 279, right: kSize, bottom: 300 };
const kLabelColour = ([r, g, b]) => r === 0x12 && g === 0xff && b === 0x00;
const kLamp = [150, 150];
const kExitStrip = [280, 255];
const kAddressStrip = [240, 289];
const kEnd = /\]: TarvelXConnectExtended\.exe: END\.\n$/;

// Xvfb's whole 1280 x 1024 screen is usable (no window manager takes a part); under Wine the usable
// area is what the program asks for (1280 x 1035 there), which only a Windows program can tell.
const xvfb = onWindows ? null : await startXvfb();
const x = xvfb?.x ?? new XDisplay(process.env.DISPLAY);
const [width, height] = onWindows ? runWindows(path.join(binDir, 'window-probe.exe'), []).stdout.split(' ').map(Number) : [1280, 1024];
// Centred, x brought down to a multiple of 8, every division truncating.
const kPlace = { x: Math.trunc(Math.trunc((width - kSize) / 2) / 8) * 8, y: Math.trunc((height - kSize) / 2) };
const findWindow = () => x.findWindow('TarvelX Load Manager', kSize, kSize);

// The program with its window up. The server does not wait for the simulator, whose port nothing
// serves until startSim() starts the stand-in there, over IPv4 whatever the link tests use.
// Each test's program stays in `run`; all of them are stopped at the end.
const runs = [];
let run;
async function startProgram(name) {
  runs.push(run = await System.start({ name, display: x.display }, async (started) => {
    await started.writeSettings(0, false);
    started.program = started.track(started.startProgram('program'));
    await started.waitForLog('Webbrowser IP:');
    started.place = await waitFor(() => started.checkChildren() && findWindow(), 30000, 'the program\'s window');
  }));
}

after(async () => {
  for (const started of runs) assert.deepEqual((await started.stop()).left, [], 'no program of the test is left');
  xvfb?.server.kill();
});

// Waits until the window at `place` shows the skin with the lamp (online or not) and the exit strip
// (lit or not) outside the label's area, and `drawn` holds for the screenshot, which it resolves
// with (kept as an artefact).
async function waitForFace(label, place, online, lit, drawn = () => true) {
  const expected = picture('skin_129').withPicture(picture(`BITMAP_BTNONLINE_${Number(online)}`), 87, 87)
    .withPicture(picture(`BITMAP_BTNEXIT_${Number(lit)}`), 240, 243);
  const rect = { left: place.x, top: place.y, right: place.x + kSize, bottom: place.y + kSize };
  let shot;
  let difference;
  await waitFor(() => {
    shot = x.screenshot(run.artefact(`${label}.png`), rect);
    return !(difference = shot.firstDifference(expected, kLabelArea)) && drawn(shot);
  }, 20000, `the ${label} face`).catch((error) => assert.fail(`${error.message}: first difference ${JSON.stringify(difference)}`));
  return shot;
}

const at = (place, [dx, dy]) => [place.x + dx, place.y + dy];

test('the window: its place, its face, the lamp, the strips, a drag, the About box', async () => {
  await startProgram('window');
  const { place } = run;
  assert.deepEqual(place, kPlace, '320 x 320 in its place');
  await x.move(5, 5);

  // Offline: the red lamp; the address in its own green, 10 points at 96 pixels per inch. The
  // label comes with the server thread, at the next paint.
  const labelOf = (shot) => shot.find(kLabelArea, kLabelColour);
  const label = labelOf(await waitForFace('offline', place, false, false, (shot) => labelOf(shot).count >= 40));
  assert.ok(label.lastRow - label.firstRow >= 7 && label.lastRow - label.firstRow <= 10, `label ${JSON.stringify(label)}`);

  // The simulator comes: green. It goes: red again.
  await run.startSim();
  await run.waitForLog('FSX online.\n');
  await waitForFace('online', place, true, false);
  await run.stopSim();
  await run.waitForLog('FSX offline.\n');
  await waitForFace('offline-again', place, false, false);

  // The pointer over the exit strip lights it up; over the address strip it stays lit; anywhere
  // else it goes back.
  for (const [label, point, lit] of [['exit-lit', kExitStrip, true], ['exit-lit-over-address', kAddressStrip, true],
    ['exit-normal', kLamp, false]]) {
    await x.move(...at(place, point));
    await sleep(300);
    await waitForFace(label, place, false, lit);
  }

  // A press on the lamp drags the window by the pointer's movement, and opens nothing.
  await x.button('mousedown');
  await x.move(...at(place, [170, 165]));
  await x.move(...at(place, [190, 180]));
  await x.button('mouseup');
  const dragged = { x: place.x + 40, y: place.y + 30 };
  await waitFor(() => findWindow()?.x === dragged.x, 20000, 'the drag');
  assert.deepEqual(findWindow(), dragged, 'moved with the pointer');
  await waitForFace('dragged', dragged, false, false);
  assert.equal(run.openedUrls(), '', 'a press on the lamp opens nothing');

  if (onWindows) {
    // The system menu (Alt+Space on the window the press made active): its last entry opens the
    // About box.
    await x.key('alt+space', 'Up', 'Return');
    run.answerInBox('About program', 'TarvelX Connect Extended. v.1.2.x.x.', 'Remote MCDU and flight data.');
  }

  // The address strip hands the status page's URL to the browser; Wine's winebrowser writes out
  // the root path's slash.
  await x.click(...at(dragged, kAddressStrip));
  const url = `http://${/Webbrowser IP: ([\d.]+)\.\n/.exec(run.log())?.[1]}:${run.port}`;
  await waitFor(() => run.openedUrls().endsWith('\n'), 15000, 'the browser stub');
  assert.match(run.openedUrls(), new RegExp(`^${url.replaceAll('.', '\\.')}${onWindows ? '/?' : ''}\\n$`));
  await run.waitForLog(`Webbrowser launched: ${url}.\n`);

  // The exit strip ends the program in its order, the END line last.
  await x.click(...at(dragged, kExitStrip));
  assert.equal(await run.program.waitExit(20000), 0);
  assert.match(run.log(), kEnd);
});

for (const key of ['Escape', 'Return']) {
  test(`${key} on the window ends the program`, async () => {
    await startProgram(`key-${key}`);
    // A press without a move gives the window the keyboard focus and nothing else.
    await x.click(...at(run.place, kLamp));
    assert.ok(run.program.running, 'a press on the lamp leaves it running');
    await x.key(key);
    assert.equal(await run.program.waitExit(20000), 0);
    assert.match(run.log(), kEnd);
  });
}
