// The network of the address tests (tests/web on Linux, tests/windows/program under Wine): a
// network namespace of the test's own, as a container host has it: a Docker-like bridge listed
// before the LAN adapter (a veth, whose peer stands for the LAN), the default route through the
// LAN. The program runs inside; a renewal then gives the LAN adapter another address under it.

import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';

import { count, waitFor } from './harness.mjs';

export const kNetwork = ['ip link add br-tx type bridge', 'ip addr add 172.17.0.1/16 dev br-tx', 'ip link set br-tx up',
  'ip link add lan0 type veth peer name lan1', 'ip addr add 192.168.77.5/24 dev lan0', 'ip link set lan0 up',
  'ip link set lan1 up', 'ip route add default via 192.168.77.1 dev lan0', 'ip link set lo up'].join(' && ');
const kRenewal = ['ip addr del 192.168.77.5/24 dev lan0', 'ip addr add 192.168.77.9/24 dev lan0',
  'ip route add default via 192.168.77.1 dev lan0'].join(' && ');

// The test's skip option: false, or why this machine cannot make such a namespace.
export const noNamespaces = spawnSync('unshare', ['-rn', 'sh', '-c', 'ip link add br-probe type bridge'], { stdio: 'ignore' }).status !== 0 &&
  'user and network namespaces are not allowed here (unshare -rn with ip link add failed)';

// Renews the LAN address in the namespace of process `pid`; `log()` must show the new address
// within a few seconds, in one more line.
export async function renewAndFollow(pid, log) {
  const renewed = spawnSync('nsenter', ['--preserve-credentials', '-U', '-n', '-t', String(pid), 'sh', '-c', kRenewal], { encoding: 'utf8' });
  assert.equal(renewed.status, 0, renewed.stderr);
  await waitFor(() => log().includes(']: Webbrowser IP: 192.168.77.9.\n'), 5000, 'the new address in the log');
  assert.equal(count(log(), 'Webbrowser IP: '), 2, 'one line per change');
}
