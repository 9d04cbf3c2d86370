// Byte equality with node-simconnect: the same calls with the same arguments, made once through
// node-simconnect and once through our library (bin/simconnect_calls), each against a recording
// listener. Every packet must be equal byte for byte, apart from the send id: node-simconnect
// counts from 0, ours from 1.

import assert from 'node:assert/strict';
import fs from 'node:fs';
import net from 'node:net';
import path from 'node:path';
import { test } from 'node:test';

import { open } from 'node-simconnect';

import { callLine, callOnNode, edgeCalls, kProgramName, programCalls } from './calls.mjs';
import { simConnectCfg, waitFor } from '../support/harness.mjs';
import { System } from '../support/system_linux.mjs';

const kSendId = 12;

// A listener that plays just enough simulator for a client to open (a RECV_OPEN for its Open) and
// keeps what each connection sends, cut into packets by their size words. Nothing else is
// answered, so what it records is exactly what the client chose to send.
async function recorder() {
  const connections = [];
  const server = net.createServer((socket) => {
    const c = { socket, pending: Buffer.alloc(0), packets: [], ended: false };
    connections.push(c);
    socket.on('data', (chunk) => {
      c.pending = Buffer.concat([c.pending, chunk]);
      for (let size; c.pending.length >= 4 && (size = c.pending.readUInt32LE(0)) >= 16 && c.pending.length >= size;) {
        c.packets.push(Buffer.from(c.pending.subarray(0, size)));
        c.pending = c.pending.subarray(size);
        if (c.packets.length > 1 || c.packets[0].readUInt32LE(8) !== 0xf0000001) continue;
        const open = Buffer.alloc(308);  // neither client reads the versions it carries
        [308, c.packets[0].readUInt32LE(4), 2].forEach((word, i) => open.writeUInt32LE(word, 4 * i));
        socket.write(open);
      }
    });
    socket.on('error', () => {});
    socket.on('end', () => socket.end());
    socket.on('close', () => (c.ended = true));
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const close = () => { connections.forEach((c) => c.socket.destroy()); server.close(); };
  return { port: server.address().port, connections, close };
}

async function recordNode(protocol, appName, calls) {
  const rec = await recorder();
  const { handle } = await open(appName, protocol, { host: '127.0.0.1', port: rec.port });
  calls.forEach((call) => callOnNode(handle, call));
  return waitFor(() => rec.connections.find((c) => c.packets.length > calls.length), 5000, 'node-simconnect\'s packets')
    .finally(() => { handle.close(); rec.close(); });
}

async function recordOurs(clientVersion, appName, calls) {
  const rec = await recorder();
  const home = new System({ name: 'interop' });
  try {
    fs.mkdirSync(home.settings, { recursive: true });
    fs.writeFileSync(path.join(home.settings, 'SimConnect.cfg'), simConnectCfg(rec.port) + (clientVersion ? `ClientVersion=${clientVersion}\n` : ''));
    const input = [{ name: 'Open', args: [appName] }, ...calls].map(callLine).join('\n');
    const caller = home.startBuilt('simconnect_calls', [], `${input}\n`);
    assert.equal(await caller.waitExit(20000), 0, caller.stderr());
    const mine = await waitFor(() => rec.connections.find((c) => c.ended && c.packets.length > 1), 5000, 'our stream\'s end');
    assert.equal(mine.pending.length, 0, 'our stream ended inside a packet');
    return mine;
  } finally {
    rec.close();
    fs.rmSync(home.root, { recursive: true, force: true });
  }
}

const kLongName = 'QUENNICK TARVELX CONNECT / '.repeat(10).slice(0, 255);
for (const [what, protocol, clientVersion, appName] of [
  ['FSX SP2 by default (protocol 4)', 4, null, kProgramName],
  ['FSX RTM (protocol 2)', 2, 'RTM', kProgramName],
  ['FSX SP1 (protocol 3)', 3, 'SP1', kProgramName],
  ['FSX SP2 chosen by name, a 255-character application name', 4, 'SP2', kLongName],
]) {
  test(`the program's calls and calls at the edges, byte for byte: ${what}`, async () => {
    const calls = [...programCalls(), ...edgeCalls()];
    const names = ['Open', ...calls.map((call) => call.name)];
    const node = await recordNode(protocol, appName, calls);
    const ours = await recordOurs(clientVersion, appName, calls);
    assert.equal(node.packets.length, names.length, 'node-simconnect\'s packets');
    assert.equal(ours.packets.length, names.length, 'our packets');
    names.forEach((name, i) => {
      const [mine, theirs] = [Buffer.from(ours.packets[i]), node.packets[i]];
      assert.equal(mine.readUInt32LE(kSendId), theirs.readUInt32LE(kSendId) + 1, `packet ${i} (${name}): send id`);
      mine.writeUInt32LE(theirs.readUInt32LE(kSendId), kSendId);
      assert.equal(mine.toString('hex'), theirs.toString('hex'), `packet ${i} (${name})`);
    });
  });
}
