// Runs the browser tests one file after another. Without Debian's chromium or the installed
// playwright-core there is nothing to drive, and the run says so and ends with the skip code
// (77) that CTest is told about; scripts/install-deps.sh --test installs both.
//
// By hand, against a build folder whose programs are built:
//   TX_BUILD_DIR=$PWD/build node tests/browser/run.mjs
//   (cd tests/browser && TX_BUILD_DIR=$PWD/../../build node --test mcdu.test.mjs)
// Screenshots and the logs of each file's run go to <build>/artefacts/.
//
// With TX_BROWSER_SYSTEM=windows the same files drive the Windows program under Wine, in the Wine
// session of scripts/windows-test.sh (CTest test browser_windows there); it skips as well without
// Wine, its prefix or the Windows and native programs. TX_BROWSER_TESTS (names without
// .test.mjs, by commas) runs only those files.

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
if (process.env.TX_BROWSER_SYSTEM === 'windows') {
  const { missingPrerequisites } = await import('./windows.mjs');
  missing.push(...missingPrerequisites());
}
if (missing.length > 0) {
  console.log(`Browser tests skipped: missing ${missing.join(', ')}.`);
  process.exit(kSkip);
}

const chosen = process.env.TX_BROWSER_TESTS?.split(',').map((name) => `${name.trim()}.test.mjs`);
const files = fs.readdirSync(here).filter((name) => name.endsWith('.test.mjs')).sort()
  .filter((name) => !chosen || chosen.includes(name));
for (const name of chosen ?? []) {
  if (!files.includes(name)) throw new Error(`TX_BROWSER_TESTS names ${name}, which is not here`);
}
// One file at a time: each starts a whole system and a browser of its own.
const result = spawnSync(process.execPath, ['--test', '--test-concurrency=1', ...files], {
  cwd: here,
  stdio: 'inherit',
  env: { ...process.env, PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD: '1' },
});
if (result.error) throw result.error;
process.exit(result.status ?? 1);
