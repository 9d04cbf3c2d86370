// Runs the process tests of the Windows program one file after another, in the Wine prefix that
// scripts/windows-test.sh made. Without Wine, a prefix, the Windows programs or the native ones
// there is nothing to run, and the run says so and ends with the skip code (77) that CTest is told
// about.
//
// By hand: bash scripts/windows-test.sh build -R windows_program
// Each file's logs go to <Windows build>/artefacts/windows_program-*.

import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

import { missingPrerequisites } from './winsystem.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const kSkip = 77;

const missing = missingPrerequisites();
if (missing.length > 0) {
  console.log(`Windows program tests skipped: missing ${missing.join(', ')}.`);
  process.exit(kSkip);
}

const files = fs.readdirSync(here).filter((name) => name.endsWith('.test.mjs')).sort();
// One file at a time: the pipe's name, the instance mutex and the window class are one per prefix.
const result = spawnSync(process.execPath, ['--test', '--test-concurrency=1', ...files], {
  cwd: here,
  stdio: 'inherit',
});
if (result.error) throw result.error;
process.exit(result.status ?? 1);
