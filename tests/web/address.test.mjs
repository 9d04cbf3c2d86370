// The address the window shows, on a machine whose first adapter no tablet reaches: the program
// runs in a network namespace of the test's own (a user namespace, no privileges needed) with a
// Docker-like bridge made first and a LAN adapter that holds the default route. It shows the LAN
// address, and a new one within a few seconds when the LAN address changes under it.

import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import path from 'node:path';
import { test } from 'node:test';

import { Child, count, waitFor } from '../support/harness.mjs';
import { System } from '../support/system_linux.mjs';

// The namespace as a container host has it: the bridge listed before the LAN adapter (a veth,
// whose peer stands for the LAN), the default route through the LAN.
const kNetwork = ['ip link add br-tx type bridge', 'ip addr add 172.17.0.1/16 dev br-tx', 'ip link set br-tx up',
  'ip link add lan0 type veth peer name lan1', 'ip addr add 192.168.77.5/24 dev lan0', 'ip link set lan0 up',
  'ip link set lan1 up', 'ip route add default via 192.168.77.1 dev lan0', 'ip link set lo up'].join(' && ');
const kRenewal = ['ip addr del 192.168.77.5/24 dev lan0', 'ip addr add 192.168.77.9/24 dev lan0',
  'ip route add default via 192.168.77.1 dev lan0'].join(' && ');

const namespaces = spawnSync('unshare', ['-rn', 'sh', '-c', 'ip link add br-probe type bridge'], { stdio: 'ignore' }).status === 0;

test('in a namespace with a bridge first, the LAN address is shown and followed', { skip: !namespaces &&
  'user and network namespaces are not allowed here (unshare -rn with ip link add failed)' }, async () => {
  const system = new System({ name: 'address' });
  try {
    await system.writeSettings(0);
    system.program = system.track(new Child('TarvelXConnectExtended', 'unshare', ['-rn', 'sh', '-c', `${kNetwork} && exec "$0"`, system.exe],
      { ...system.options, cwd: system.root }, path.join(system.root, 'program.out')));
    await system.waitForLog('Webbrowser IP: ');
    const log = system.log();
    assert.match(log, /\]: Network adapters: lo \(loopback, up, 127\.0\.0\.1\); br-tx \(virtual, up, 172\.17\.0\.1\); .*lan0 \(virtual, up, 192\.168\.77\.5, default route metric 0\)\.\n/);
    assert.ok(log.includes(']: Webbrowser IP: 192.168.77.5.\n'), log);

    const renewed = spawnSync('nsenter', ['--preserve-credentials', '-U', '-n', '-t', String(system.program.process.pid), 'sh', '-c', kRenewal],
      { encoding: 'utf8' });
    assert.equal(renewed.status, 0, renewed.stderr);
    await waitFor(() => system.log().includes(']: Webbrowser IP: 192.168.77.9.\n'), 5000, 'the new address in the log');
    assert.equal(count(system.log(), 'Webbrowser IP: '), 2, 'one line per change');
  } finally {
    const { exit, left } = await system.stop();
    assert.equal(exit, 0);
    assert.deepEqual(left, []);
  }
});
