// Runs the window test on one system: the Linux program on a private Xvfb, or with
// TX_WINDOW_SYSTEM=windows the Windows program under Wine on the display and in the prefix that
// scripts/windows-test.sh made (bash scripts/windows-test.sh build -R windows_window); it skips
// without the X tools, Wine or the programs. Screenshots and logs stay in the build's artefacts
// folder as window-<system>-*. Its cases one after another: the pointer and the instance mutex
// are one per display.

import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';

import { runTestFiles } from '../../support/harness.mjs';
import { missingPrerequisites, nativeBin, windowsBin } from '../../support/system_win32.mjs';
import { isWindows } from './systems.mjs';

const missing = isWindows ? missingPrerequisites() : [];
for (const tool of ['xdotool', 'import', 'convert', ...(isWindows ? [] : ['Xvfb'])]) {
  if (spawnSync('sh', ['-c', `command -v ${tool}`], { stdio: 'ignore' }).status !== 0) missing.push(tool);
}
const programs = isWindows ? [path.join(windowsBin, 'window-probe.exe')] : ['TarvelXConnectExtended', 'sim-standin'].map((name) => path.join(nativeBin, name));
missing.push(...programs.filter((file) => !fs.existsSync(file)));
runTestFiles('Window test', missing, import.meta.dirname, ['window.test.mjs']);
