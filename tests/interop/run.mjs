// Runs the interop tests, or ends with the skip code (77) CTest is told about when node-simconnect,
// the independent client they compare with, is not installed (scripts/install-deps.sh --test).
//   By hand: TX_BUILD_DIR=$PWD/build node tests/interop/run.mjs

import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
if (!fs.existsSync(path.join(here, 'node_modules', 'node-simconnect', 'package.json'))) {
  console.log('Interop tests skipped: node-simconnect is missing (cd tests/interop && npm ci).');
  process.exit(77);
}
const files = fs.readdirSync(here).filter((name) => name.endsWith('.test.mjs')).sort();
const result = spawnSync(process.execPath, ['--test', '--test-concurrency=1', ...files], { cwd: here, stdio: 'inherit' });
process.exit(result.status ?? 1);
