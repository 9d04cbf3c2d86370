// Runs the window tests of the Windows program one file after another, in the Wine prefix and on
// the X display that scripts/windows-test.sh made. Without Wine, a prefix, a display, the X tools
// or the programs there is nothing to run, and the run says so and ends with the skip code (77)
// that CTest is told about.
//
// By hand: bash scripts/windows-test.sh build -R windows_window
// Screenshots and logs go to <Windows build>/artefacts/windows_window-* and windows_compare-*.

import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

import { missingPrerequisites } from '../program/winsystem.mjs';
import { probeExe } from './winwindow.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const kSkip = 77;

const missing = missingPrerequisites();
for (const tool of ['xdotool', 'import', 'convert', 'Xvfb']) {
  if (spawnSync('sh', ['-c', `command -v ${tool}`], { stdio: 'ignore' }).status !== 0) missing.push(tool);
}
if (!fs.existsSync(probeExe)) missing.push(probeExe);
if (missing.length > 0) {
  console.log(`Windows window tests skipped: missing ${missing.join(', ')}.`);
  process.exit(kSkip);
}

const files = fs.readdirSync(here).filter((name) => name.endsWith('.test.mjs')).sort();
// One file at a time: the pointer, the instance mutex and the pipe are one per prefix and display.
const result = spawnSync(process.execPath, ['--test', '--test-concurrency=1', ...files], {
  cwd: here,
  stdio: 'inherit',
});
if (result.error) throw result.error;
process.exit(result.status ?? 1);
