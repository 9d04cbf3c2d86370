// Runs the browser tests one file after another. Without Debian's chromium or the installed
// playwright-core there is nothing to drive, and the run says so and ends with the skip code
// (77) that CTest is told about; scripts/install-deps.sh --test installs both.
//
// By hand, against a build folder whose programs are built:
//   TX_BUILD_DIR=$PWD/build node tests/browser/run.mjs
//   (cd tests/browser && TX_BUILD_DIR=$PWD/../../build node --test mcdu.test.mjs)
// Screenshots and the logs of each file's run go to <build>/artefacts/.

import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const kSkip = 77;

const missing = [
  ['/usr/bin/chromium', 'chromium (apt-get install chromium)'],
  [path.join(here, 'node_modules', 'playwright-core', 'package.json'),
    'playwright-core (cd tests/browser && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci)'],
].filter(([file]) => !fs.existsSync(file)).map(([, what]) => what);
if (missing.length > 0) {
  console.log(`Browser tests skipped: missing ${missing.join(' and ')}.`);
  process.exit(kSkip);
}

const files = fs.readdirSync(here).filter((name) => name.endsWith('.test.mjs')).sort();
// One file at a time: each starts a whole system and a browser of its own.
const result = spawnSync(process.execPath, ['--test', '--test-concurrency=1', ...files], {
  cwd: here,
  stdio: 'inherit',
  env: { ...process.env, PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD: '1' },
});
if (result.error) throw result.error;
process.exit(result.status ?? 1);
