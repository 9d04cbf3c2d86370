// The address the window shows, on a machine whose first adapter no tablet reaches: the program
// runs in a network namespace of the test's own (a user namespace, no privileges needed) with a
// Docker-like bridge made first and a LAN adapter that holds the default route. It shows the LAN
// address, and a new one within a few seconds when the LAN address changes under it.

import assert from 'node:assert/strict';
import path from 'node:path';
import { test } from 'node:test';

import { Child } from '../support/harness.mjs';
import { kNetwork, noNamespaces, renewAndFollow } from '../support/namespace.mjs';
import { System } from '../support/system_linux.mjs';

test('in a namespace with a bridge first, the LAN address is shown and followed', { skip: noNamespaces }, async () => {
  const system = new System({ name: 'address' });
  try {
    await system.writeSettings(0);
    system.program = system.track(new Child('TarvelXConnectExtended', 'unshare', ['-rn', 'sh', '-c', `${kNetwork} && exec "$0"`, system.exe],
      { ...system.options, cwd: system.root }, path.join(system.root, 'program.out')));
    await system.waitForLog('Webbrowser IP: ');
    const log = system.log();
    assert.match(log, /\]: Network adapters: lo \(loopback, up, 127\.0\.0\.1\); br-tx \(virtual, up, 172\.17\.0\.1\); .*lan0 \(virtual, up, 192\.168\.77\.5, default route metric 0\)\.\n/);
    assert.ok(log.includes(']: Webbrowser IP: 192.168.77.5.\n'), log);

    await renewAndFollow(system.program.process.pid, () => system.log());
  } finally {
    const { exit, left } = await system.stop();
    assert.equal(exit, 0);
    assert.deepEqual(left, []);
  }
});
