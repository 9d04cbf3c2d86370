// Runs the Windows program's process tests under Wine, in the prefix scripts/windows-test.sh made:
// tests/app/program.test.mjs as on Linux, then what only Windows has. One file at a time: the
// pipe's name, the instance mutex and the window class are one per prefix.
//   bash scripts/windows-test.sh build -R windows_program

import { runTestFiles } from '../../support/harness.mjs';
import { missingPrerequisites } from '../../support/system_win32.mjs';

runTestFiles('Windows program tests', missingPrerequisites(), import.meta.dirname,
  ['../../app/program.test.mjs', 'simconnectcfg.test.mjs', 'user.test.mjs', 'address.test.mjs'], { ...process.env, TX_SYSTEM: 'windows' });
