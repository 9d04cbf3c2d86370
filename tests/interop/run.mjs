// Runs the interop tests one file after another. Without node-simconnect installed there is no
// independent client to compare with, and the run says so and ends with the skip code (77) that
// CTest is told about; scripts/install-deps.sh --test installs it.
//
// By hand, against a build folder whose programs are built:
//   TX_BUILD_DIR=$PWD/build node tests/interop/run.mjs
//   (cd tests/interop && TX_BUILD_DIR=$PWD/../../build node --test bytes.test.mjs)

import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const kSkip = 77;

if (!fs.existsSync(path.join(here, 'node_modules', 'node-simconnect', 'package.json'))) {
  console.log('Interop tests skipped: node-simconnect is missing (cd tests/interop && npm ci).');
  process.exit(kSkip);
}

const files = fs.readdirSync(here).filter((name) => name.endsWith('.test.mjs')).sort();
// One file at a time: the machine's two cores are shared with the rest of the suite.
const result = spawnSync(process.execPath, ['--test', '--test-concurrency=1', ...files], {
  cwd: here,
  stdio: 'inherit',
});
if (result.error) throw result.error;
process.exit(result.status ?? 1);
