// Byte equality with node-simconnect: the same calls with the same arguments, made once through
// node-simconnect and once through our library (bin/simconnect_calls), each against a recording
// listener. Every packet must be equal byte for byte, apart from the send id: node-simconnect
// counts from 0, ours from 1, and both count up by one per packet.

import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';

import { open } from 'node-simconnect';

import { callLine, callOnNode, edgeCalls, kPacketTypes, kProgramName, programCalls } from './calls.mjs';
import { compare, kSendIdOffset } from './compare.mjs';
import { Recorder } from './recorder.mjs';
import { binDir, Child, tempFolder } from './support.mjs';

const kLongName = 'QUENNICK TARVELX CONNECT / '.repeat(10).slice(0, 255);

async function recordNode(protocol, appName, calls) {
  const recorder = await new Recorder().listen();
  let handle = null;
  try {
    ({ handle } = await open(appName, protocol, { host: '127.0.0.1', port: recorder.port }));
    for (const call of calls) callOnNode(handle, call);
    const connection = await recorder.waitFor((c) => c.packets.length >= calls.length + 1, 5000,
      'node-simconnect\'s packets');
    return connection;
  } finally {
    handle?.close();
    await recorder.close();
  }
}

function writeSimConnectCfg(home, port, clientVersion) {
  const folder = path.join(home, 'Documents', 'Quennick', 'Tarvel');
  fs.mkdirSync(folder, { recursive: true });
  const lines = ['[SimConnect]', 'Protocol=IPv4', 'Address=127.0.0.1', `Port=${port}`];
  if (clientVersion) lines.push(`ClientVersion=${clientVersion}`);
  fs.writeFileSync(path.join(folder, 'SimConnect.cfg'), `${lines.join('\n')}\n`);
}

async function recordOurs(clientVersion, appName, calls) {
  const recorder = await new Recorder().listen();
  const home = tempFolder('home');
  const runtime = tempFolder('run');
  const caller = { child: null };
  try {
    writeSimConnectCfg(home.path, recorder.port, clientVersion);
    const input = [callLine({ name: 'Open', args: [appName] }), ...calls.map(callLine)].join('\n');
    caller.child = new Child(path.join(binDir, 'simconnect_calls'), [], {
      env: { ...process.env, HOME: home.path, XDG_RUNTIME_DIR: runtime.path,
        XDG_CONFIG_HOME: path.join(home.path, '.config') },
      stdin: Buffer.from(`${input}\n`, 'latin1'),
    });
    const exit = await caller.child.wait(20000);
    assert.equal(exit, 0, `simconnect_calls ended with ${exit}:\n${caller.child.output}`);
    assert.match(caller.child.output, /^recv 2 308$/m, 'our library delivered no RECV_OPEN');
    // The caller has closed its connection; the stream ends on a packet boundary.
    const connection = await recorder.waitFor((c) => c.ended && c.packets.length > 1, 5000,
      'our library\'s packets and the end of its stream');
    assert.equal(connection.broken, null, `our stream: ${connection.broken}`);
    assert.equal(connection.pending.length, 0, 'our stream ended inside a packet');
    const others = recorder.connections.filter((c) => c !== connection && c.packets.length > 1);
    assert.equal(others.length, 0, 'our library spread the calls over several connections');
    return connection;
  } finally {
    if (caller.child) await caller.child.stop();
    await recorder.close();
    home.remove();
    runtime.remove();
  }
}

const runs = [
  { what: 'FSX SP2 by default (protocol 4)', protocol: 4, clientVersion: null, appName: kProgramName },
  { what: 'FSX RTM (protocol 2)', protocol: 2, clientVersion: 'RTM', appName: kProgramName },
  { what: 'FSX SP1 (protocol 3)', protocol: 3, clientVersion: 'SP1', appName: kProgramName },
  { what: 'FSX SP2 chosen by name, a 255-character application name', protocol: 4, clientVersion: 'SP2', appName: kLongName },
];

for (const run of runs) {
  test(`the program's calls and calls at the edges, byte for byte: ${run.what}`, async () => {
    const calls = [...programCalls(), ...edgeCalls()];
    const names = ['Open', ...calls.map((call) => call.name)];
    const node = await recordNode(run.protocol, run.appName, calls);
    // The recording is what it claims to be: one packet per call, of the call's type and protocol,
    // with send ids counting up by one.
    assert.equal(node.packets.length, names.length, 'node-simconnect\'s packet count');
    node.packets.forEach((packet, i) => {
      assert.equal(packet.readUInt32LE(4), run.protocol, `node-simconnect's protocol, packet ${i}`);
      assert.equal(packet.readUInt32LE(8), (0xf0000000 | kPacketTypes[names[i]]) >>> 0,
        `node-simconnect's packet ${i} is not ${names[i]}`);
      assert.equal(packet.readUInt32LE(kSendIdOffset), i, `node-simconnect's send id, packet ${i}`);
    });
    const ours = await recordOurs(run.clientVersion, run.appName, calls);
    const findings = compare(ours.packets, node.packets, names);
    assert.deepEqual(findings, [], `our packets differ from node-simconnect's:\n${findings.join('\n')}`);
  });
}
