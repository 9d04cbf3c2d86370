// The program's window on a real X server, driven as a user would with the pointer and the keys:
// where it stands, its face pixel for pixel the skin with the lamp and exit-strip pictures of the
// build's resources (all but the address label's area), the label's own green, the lamp following
// the simulator, the exit strip lit under the pointer, a drag by the lamp, the address strip
// opening the browser stub, the exit strip, Enter and Escape; under Wine also the About box from
// the system menu. The same test for the Linux program on Xvfb and the Windows program under Wine.

import assert from 'node:assert/strict';
import path from 'node:path';
import { after, test } from 'node:test';

import { sleep, waitFor } from '../../support/harness.mjs';
import { boxCloserExe, runWindows } from '../../support/system_win32.mjs';
import { isWindows, kSize, resDir, startProgram } from './systems.mjs';
import { readPicture } from './xdisplay.mjs';

const picture = (name) => readPicture(path.join(resDir, `${name}.bmp`));
const skin = picture('skin_129');
const lamp = [picture('BITMAP_BTNONLINE_0'), picture('BITMAP_BTNONLINE_1')];
const exit = [picture('BITMAP_BTNEXIT_0'), picture('BITMAP_BTNEXIT_1')];
// Where the label's letters may reach: centred on one line, a few pixels above and below its strip.
const kLabelArea = { left: 160, top: 279, right: kSize, bottom: 300 };
const kLabelColour = ([r, g, b]) => r === 0x12 && g === 0xff && b === 0x00;
const kLamp = [150, 150];
const kExitStrip = [280, 255];
const kAddressStrip = [240, 289];
const kEnd = /\]: TarvelXConnectExtended\.exe: END\.\n$/;

let run;
after(async () => {
  if (run) assert.deepEqual(await run.stop(), [], 'no program of the test is left');
});

// Waits until the window at `place` shows the skin with the lamp (online or not) and the exit strip
// (lit or not) outside the label's area, and `drawn` holds for the screenshot, which it resolves
// with (kept as an artefact).
async function waitForFace(label, place, online, lit, drawn = () => true) {
  const expected = skin.withPicture(lamp[Number(online)], 87, 87).withPicture(exit[Number(lit)], 240, 243);
  const rect = { left: place.x, top: place.y, right: place.x + kSize, bottom: place.y + kSize };
  let shot;
  let difference;
  await waitFor(() => {
    shot = run.x.screenshot(run.artefact(`${label}.png`), rect);
    return !(difference = shot.firstDifference(expected, kLabelArea)) && drawn(shot);
  }, 20000, `the ${label} face`).catch((error) => assert.fail(`${error.message}: first difference ${JSON.stringify(difference)}`));
  return shot;
}

const at = (place, [x, y]) => [place.x + x, place.y + y];

test('the window: its place, its face, the lamp, the strips, a drag, the About box', async () => {
  run = await startProgram('window');
  const { x, place } = run;
  assert.deepEqual(place, run.expectedPlace, '320 x 320 in its place');
  await x.move(5, 5);

  // Offline: the red lamp; the address in its own green, 10 points at 96 pixels per inch. The
  // label comes with the server thread, at the next paint.
  const labelOf = (shot) => shot.find(kLabelArea, kLabelColour);
  const label = labelOf(await waitForFace('offline', place, false, false, (shot) => labelOf(shot).count >= 40));
  assert.ok(label.lastRow - label.firstRow >= 7 && label.lastRow - label.firstRow <= 10, `label ${JSON.stringify(label)}`);

  // The simulator comes: green. It goes: red again.
  await run.simulate();
  await run.waitForLog('FSX online.\n');
  await waitForFace('online', place, true, false);
  await run.endSimulator();
  await run.waitForLog('FSX offline.\n');
  await waitForFace('offline-again', place, false, false);

  // The pointer over the exit strip lights it up; over the address strip it stays lit; anywhere
  // else it goes back.
  await x.move(...at(place, kExitStrip));
  await waitForFace('exit-lit', place, false, true);
  await x.move(...at(place, kAddressStrip));
  await sleep(300);
  await waitForFace('exit-lit-over-address', place, false, true);
  await x.move(...at(place, kLamp));
  await waitForFace('exit-normal', place, false, false);

  // A press on the lamp drags the window by the pointer's movement, and opens nothing.
  await x.button('mousedown');
  await x.move(...at(place, [170, 165]));
  await x.move(...at(place, [190, 180]));
  await x.button('mouseup');
  const dragged = { x: place.x + 40, y: place.y + 30 };
  await waitFor(() => run.x.findWindow('TarvelX Load Manager', kSize, kSize)?.x === dragged.x, 20000, 'the drag');
  assert.deepEqual(run.x.findWindow('TarvelX Load Manager', kSize, kSize), dragged, 'moved with the pointer');
  await waitForFace('dragged', dragged, false, false);
  assert.equal(run.openedUrls(), '', 'a press on the lamp opens nothing');

  if (isWindows) {
    // The system menu (Alt+Space on the window the press made active): its last entry opens the
    // About box, whose texts the closer reads before it presses OK; the box gone (status 0), the
    // window is enabled again.
    await x.key('alt+space', 'Up', 'Return');
    const closer = runWindows(boxCloserExe, ['--caption', 'About program', '--timeout-ms', '15000'], 30000);
    assert.equal(closer.status, 0, `${closer.stdout}${closer.stderr}`);
    assert.match(closer.stdout, /BOX: text TarvelX Connect Extended\. v\.1\.2\.x\.x\.\r?\nBOX: text Remote MCDU and flight data\.\r?\n/);
  }

  // The address strip hands the status page's URL to the browser; Wine's winebrowser writes out
  // the root path's slash.
  await x.click(...at(dragged, kAddressStrip));
  const url = `http://${/Webbrowser IP: ([\d.]+)\.\n/.exec(run.log())?.[1]}:${run.port}`;
  await waitFor(() => run.openedUrls().endsWith('\n'), 15000, 'the browser stub');
  assert.match(run.openedUrls(), new RegExp(`^${url.replaceAll('.', '\\.')}${isWindows ? '/?' : ''}\\n$`));
  await run.waitForLog(`Webbrowser launched: ${url}.\n`);

  // The exit strip ends the program in its order, the END line last.
  await x.click(...at(dragged, kExitStrip));
  run.program.stopping = true;
  assert.equal(await run.program.waitExit(20000), 0);
  assert.match(run.log(), kEnd);
});

for (const key of ['Escape', 'Return']) {
  test(`${key} on the window ends the program`, async () => {
    const keyRun = await startProgram(`key-${key}`);
    try {
      // A press without a move gives the window the keyboard focus and nothing else.
      await keyRun.x.click(...at(keyRun.place, kLamp));
      assert.ok(keyRun.program.running, 'a press on the lamp leaves it running');
      await keyRun.x.key(key);
      keyRun.program.stopping = true;
      assert.equal(await keyRun.program.waitExit(20000), 0);
      assert.match(keyRun.log(), kEnd);
    } finally {
      assert.deepEqual(await keyRun.stop(), [], 'no program of the test is left');
    }
  });
}
