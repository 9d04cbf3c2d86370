// Runs the window test on one system: the Linux program on a private Xvfb, or with
// TX_SYSTEM=windows the Windows program under Wine on the display and in the prefix that
// scripts/windows-test.sh made (bash scripts/windows-test.sh build -R windows_window); it skips
// without the X tools or Wine. Screenshots and logs stay in the build's artefacts folder. Its
// cases one after another: the pointer and the instance mutex are one per display.

import { spawnSync } from 'node:child_process';

import { runTestFiles } from '../../support/harness.mjs';
import { missingPrerequisites } from '../../support/system_win32.mjs';

const onWindows = process.env.TX_SYSTEM === 'windows';
const missing = [...(onWindows ? missingPrerequisites() : []), ...['xdotool', 'import', 'convert', ...(onWindows ? [] : ['Xvfb'])]
  .filter((tool) => spawnSync('sh', ['-c', `command -v ${tool}`], { stdio: 'ignore' }).status !== 0)];
runTestFiles('Window test', missing, import.meta.dirname, ['window.test.mjs']);
