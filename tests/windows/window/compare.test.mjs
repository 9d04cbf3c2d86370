// The two builds show the same window: the Linux program in an X server of its own and the Windows
// program under Wine, both offline with the address label drawn, are screenshotted and compared
// pixel for pixel. Only the label's area may differ: the two systems set the same text in the same
// font through different rasterisers (FreeType through SDL_ttf, Wine's GDI), and each names its
// own address of this machine. There both must show the label's green. The two window pictures,
// side by side, stay as artefacts (and are what docs/images shows).

import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { test } from 'node:test';

import {
  artefactsDir, Child, count, freeLoopbackPort, iniText, nativeBin, nativeWww, readText, waitFor,
} from '../program/winsystem.mjs';
import { kLabelArea, kSize, kTitle, ProgramWindow, windowRect } from './winwindow.mjs';
import { isLabelGreen, XDisplay, Xvfb } from './xdisplay.mjs';

const kWaitMs = 30000;

// The Linux program on `display`, with a home, runtime and configuration folder of its own.
async function startLinuxProgram(root, display) {
  const home = path.join(root, 'home');
  const settings = path.join(home, 'Documents', 'Quennick', 'Tarvel');
  const runtime = path.join(root, 'run');
  fs.mkdirSync(settings, { recursive: true });
  fs.mkdirSync(path.join(root, 'config'), { recursive: true });
  fs.mkdirSync(runtime, { recursive: true, mode: 0o700 });
  fs.writeFileSync(path.join(settings, 'TarvelXConnectExtended.ini'), iniText(await freeLoopbackPort(), 0));
  // A simulator port nothing serves: offline, whatever else runs on this machine.
  fs.writeFileSync(path.join(settings, 'SimConnect.cfg'),
    `[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=${await freeLoopbackPort()}\n`);
  const program = new Child('linux-program', path.join(nativeBin, 'TarvelXConnectExtended'), [], {
    cwd: nativeWww,
    env: {
      PATH: process.env.PATH, HOME: home, XDG_CONFIG_HOME: path.join(root, 'config'), XDG_RUNTIME_DIR: runtime,
      DISPLAY: display, SDL_VIDEODRIVER: 'x11', BROWSER: '/bin/true',
    },
  }, path.join(root, 'linux-program.out'));
  const log = path.join(settings, 'TarvelXConnectExtended.log');
  await waitFor(() => {
    if (!program.running) throw new Error(`the Linux program ended early (${program.exit}): ${program.stderr()}`);
    return count(readText(log), 'Webbrowser IP:') === 1;
  }, kWaitMs, 'the Linux program\'s address label');
  return { program, log };
}

function save(picture, file) {
  const result = spawnSync('convert', ['-size', `${picture.width}x${picture.height}`, '-depth', '8', 'rgb:-', file],
    { input: picture.data });
  if (result.status !== 0) throw new Error(`cannot write ${file}: ${result.stderr}`);
}

test('the Linux and the Windows window are the same picture but for the label\'s rasterisation', async () => {
  fs.mkdirSync(artefactsDir, { recursive: true });
  const root = fs.mkdtempSync(path.join(os.tmpdir(), 'tx-wincompare-'));
  const xvfb = new Xvfb();
  let linux;
  let windows;
  try {
    // Linux.
    const linuxDisplay = await xvfb.start();
    linux = await startLinuxProgram(root, xvfb.display);
    let linuxPlace = null;
    await waitFor(() => (linuxPlace = linuxDisplay.findWindow(kTitle, kSize, kSize)), kWaitMs, 'the Linux window');
    await linuxDisplay.move(5, 5);
    // The label is drawn right after the server thread has started; the window shows it at its
    // next paint.
    const linuxRect = { left: linuxPlace.x, top: linuxPlace.y, right: linuxPlace.x + kSize, bottom: linuxPlace.y + kSize };
    let linuxFace;
    await waitFor(() => {
      linuxFace = linuxDisplay.screenshot(path.join(artefactsDir, 'windows_compare-linux-screen.png'), linuxRect);
      return linuxFace.count(kLabelArea, isLabelGreen) > 0;
    }, 10000, 'the label in the Linux window');

    // Windows.
    windows = await ProgramWindow.start('compare');
    const windowsDisplay = new XDisplay(process.env.DISPLAY);
    await windowsDisplay.move(5, 5);
    const rect = windowRect();
    let windowsFace;
    await waitFor(() => {
      windowsFace = windowsDisplay.screenshot(path.join(artefactsDir, 'windows_compare-windows-screen.png'), rect);
      return windowsFace.count(kLabelArea, isLabelGreen) > 0;
    }, 10000, 'the label in the Windows window');

    save(linuxFace, path.join(artefactsDir, 'windows_compare-linux.png'));
    save(windowsFace, path.join(artefactsDir, 'windows_compare-windows.png'));
    spawnSync('convert', [path.join(artefactsDir, 'windows_compare-linux.png'),
      path.join(artefactsDir, 'windows_compare-windows.png'), '+append',
      path.join(artefactsDir, 'windows_compare-side-by-side.png')]);

    const outside = windowsFace.differencesOutside(linuxFace, kLabelArea);
    assert.equal(outside.count, 0, `pixels differ outside the label, first ${JSON.stringify(outside.first)}`);
    const all = windowsFace.differencesOutside(linuxFace, { left: 0, top: 0, right: 0, bottom: 0 });
    assert.ok(all.count > 0, 'the labels differ a little (rasteriser and address): the comparison sees them');
    for (const [name, face] of [['Linux', linuxFace], ['Windows', windowsFace]]) {
      assert.ok(face.count(kLabelArea, isLabelGreen) >= 60, `${name}: the label's green`);
    }
  } finally {
    if (linux) await linux.program.stop();
    if (windows) assert.deepEqual(await windows.stop(), [], 'no Windows program of the test is left');
    await xvfb.stop();
    if (linux) fs.copyFileSync(linux.log, path.join(artefactsDir, 'windows_compare-linux-program.log'));
    fs.rmSync(root, { recursive: true, force: true });
  }
});
