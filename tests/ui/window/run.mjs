// Runs the window test on one system: the Linux program on a private Xvfb, or with
// TX_WINDOW_SYSTEM=windows the Windows program under Wine on the display and in the prefix that
// scripts/windows-test.sh made (bash scripts/windows-test.sh build -R windows_window). Without the
// X tools, Wine or the programs it ends with the skip code (77) CTest is told about. Screenshots
// and logs stay in the build's artefacts folder as window-<system>-*.

import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

import { missingPrerequisites, nativeBin, windowsBin } from '../../windows/program/winsystem.mjs';
import { isWindows } from './systems.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const missing = isWindows ? missingPrerequisites() : [];
for (const tool of ['xdotool', 'import', 'convert', ...(isWindows ? [] : ['Xvfb'])]) {
  if (spawnSync('sh', ['-c', `command -v ${tool}`], { stdio: 'ignore' }).status !== 0) missing.push(tool);
}
const programs = isWindows ? [path.join(windowsBin, 'window-probe.exe')] : ['TarvelXConnectExtended', 'sim-standin'].map((name) => path.join(nativeBin, name));
missing.push(...programs.filter((file) => !fs.existsSync(file)));
if (missing.length > 0) {
  console.log(`Window test skipped: missing ${missing.join(', ')}.`);
  process.exit(77);
}
// One file, its cases one after another: the pointer and the instance mutex are one per display.
const result = spawnSync(process.execPath, ['--test', '--test-concurrency=1', 'window.test.mjs'], { cwd: here, stdio: 'inherit' });
process.exit(result.status ?? 1);
