// With no SimConnect.cfg in its settings folder, the Windows program reads the one beside its exe,
// as the user's README tells (with both, the settings folder's wins: user.test.mjs).

import assert from 'node:assert/strict';
import { test } from 'node:test';

import { System } from '../../support/system_win32.mjs';

test('with none in the settings folder, the SimConnect.cfg beside the program is read', async () => {
  // Starting waits for "FSX online.": only a file that names the stand-in gets there.
  const system = await System.start({ name: 'cfg-beside', copyTo: 'program', cfgBeside: 'only' });
  assert.deepEqual(await system.stop(), { exit: 0, left: [] });
});
