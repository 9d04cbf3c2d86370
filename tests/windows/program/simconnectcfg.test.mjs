// Where the Windows program finds SimConnect.cfg: in its settings folder, else beside the exe
// itself, as the user's README tells. Each case runs a copy of the exe from a folder of its own.
// Starting the system waits for "FSX online.": only the file that names the stand-in gets there.

import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';

import { count, settingsDir, WindowsSystem } from './winsystem.mjs';

async function expectOnline(name, simConnectCfg) {
  const system = await WindowsSystem.start({ name, simConnectCfg });
  try {
    assert.equal(fs.existsSync(path.join(settingsDir, 'SimConnect.cfg')), simConnectCfg === 'both');
    assert.ok(fs.existsSync(path.join(system.programFolder, 'SimConnect.cfg')));
    assert.equal(count(system.programLogText(), 'FSX online.\n'), 1);
  } finally {
    assert.deepEqual(await system.stop(), [], 'no Windows program of the test is left');
  }
}

test('with none in the settings folder, the SimConnect.cfg beside the program is read', async () => {
  await expectOnline('cfg-beside', 'beside');
});

test('with both, the settings folder\'s SimConnect.cfg wins over the one beside the program', async () => {
  await expectOnline('cfg-both', 'both');
});
