// Runs the Windows program's process tests under Wine, in the prefix scripts/windows-test.sh made:
// tests/app/program.test.mjs as on Linux, then what only Windows has. Without Wine, its prefix or
// a display it says what is missing and ends with the skip code (77) that CTest is told about;
// a program missing from the builds is a failure.
//   bash scripts/windows-test.sh build -R windows_program

import { spawnSync } from 'node:child_process';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

import { missingPrerequisites } from '../../support/system_win32.mjs';

const missing = missingPrerequisites();
if (missing.length > 0) {
  console.log(`Windows program tests skipped: missing ${missing.join(', ')}.`);
  process.exit(77);
}
// One file at a time: the pipe's name, the instance mutex and the window class are one per prefix.
const files = ['../../app/program.test.mjs', 'simconnectcfg.test.mjs', 'user.test.mjs'];
const result = spawnSync(process.execPath, ['--test', '--test-concurrency=1', ...files], {
  cwd: path.dirname(fileURLToPath(import.meta.url)),
  stdio: 'inherit',
  env: { ...process.env, TX_SYSTEM: 'windows' },
});
process.exit(result.status ?? 1);
