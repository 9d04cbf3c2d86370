// node-simconnect, an independent client, against our simulator stand-in over TCP: it defines the
// program's values, asks for them every second and for the title by type, subscribes to the
// program's system events, maps PAUSE_ON and PAUSE_OFF and transmits them. What arrives must be
// what the control channel set, bit for bit, and the stand-in must log the pause it was sent.

import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';

import { open, Protocol, SimConnectConnection } from 'node-simconnect';

import { callOnNode, Event, kFlightDefinition, kFlightRequest, kGroupIdIsPriority,
  kPriorityHighest, kProgramName, kTitleDefinition, kTitleRequest, programCalls } from './calls.mjs';
import { binDir, Child, control, freeLoopbackPort, Inbox, sleep, tempFolder } from './support.mjs';

const kTitle = 'Airbus A321 Interop Edition';
const kSecondTitle = 'Boeing 737-800 Interop';
const kAircraftFile = 'SimObjects\\Airplanes\\Interop A321\\aircraft.cfg';

// The stand-in on a free port of 127.0.0.1, ready when its control channel answers.
async function startStandin(home, runtime, logFile) {
  for (let attempt = 1; ; attempt++) {
    const port = await freeLoopbackPort();
    const child = new Child(path.join(binDir, 'sim-standin'), [
      '--port', String(port), '--bind', '127.0.0.1', '--log', logFile,
      '--title', kTitle, '--aircraft-file', kAircraftFile,
    ], { env: { ...process.env, HOME: home, XDG_RUNTIME_DIR: runtime } });
    const controlPath = path.join(runtime, 'sim-standin.ctl');
    const deadline = Date.now() + 10000;
    while (child.running && Date.now() < deadline) {
      const answer = await control(controlPath, 'status', 1000).catch(() => null);
      if (answer?.startsWith('ok')) return { child, port, controlPath };
      await sleep(50);
    }
    await child.stop();
    // Someone may have taken the port between our look and the stand-in's bind.
    if (attempt === 3 || child.exit !== 1)
      throw new Error(`the stand-in did not come up (exit ${child.exit}):\n${child.output}`);
  }
}

// What node-simconnect hands over, kept in arrival order.
function listen(handle) {
  const inbox = new Inbox();
  const rest = (data) => data.readBytes(data.remaining());
  handle.on('event', (e) => inbox.push({ kind: 'event', id: e.clientEventId, data: e.data }));
  handle.on('eventFilename', (e) => inbox.push({ kind: 'filename', id: e.clientEventId, file: e.fileName }));
  handle.on('simObjectData', (d) => inbox.push({ kind: 'data', request: d.requestID,
    define: d.defineID, bytes: rest(d.data), at: Date.now() }));
  handle.on('simObjectDataByType', (d) => inbox.push({ kind: 'bytype', request: d.requestID,
    define: d.defineID, bytes: rest(d.data) }));
  handle.on('exception', (e) => inbox.push({ kind: 'exception', ...e }));
  handle.on('error', (error) => inbox.push({ kind: 'error', message: String(error) }));
  return inbox;
}

// The flight values to set, and the 72 bytes of definition 1 they must arrive as.
function flightValues(wpid) {
  const numbers = [
    ['ias', '251.5'], ['mach', '0.7834567891234567'], ['altitude', '35012.25'],
    ['heading', '4.71238898038469'], ['wpdistance', '123456.789'], ['fuel', '18234.56789'],
    ['groundspeed', '231.4814814814815'], ['vspeed', '-5.08'],
  ];
  const expected = Buffer.alloc(8 * numbers.length + 8);
  numbers.forEach(([, text], i) => expected.writeDoubleLE(Number(text), 8 * i));
  expected.write(wpid, 8 * numbers.length, 'latin1');
  return { commands: [...numbers.map(([field, text]) => `set ${field} ${text}`), `set wpid ${wpid}`], expected };
}

// A text value as the stand-in sends it: the text, its NUL, then only zeros.
function assertStringV(bytes, text, what) {
  const wanted = Buffer.from(`${text}\0`, 'latin1');
  assert.ok(bytes.length >= wanted.length, `${what}: ${bytes.length} bytes`);
  assert.equal(bytes.subarray(0, wanted.length).toString('hex'), wanted.toString('hex'), what);
  assert.ok(bytes.subarray(wanted.length).every((b) => b === 0), `${what}: padding not zero`);
}

async function expectControl(controlPath, command) {
  const answer = await control(controlPath, command);
  assert.match(answer, /^ok/, `control "${command}" answered "${answer}"`);
}

// Waits for `pattern` in the stand-in's log from character `from` on; resolves with where the
// match ends.
async function waitForLog(logFile, pattern, what, from = 0, timeoutMs = 5000) {
  const deadline = Date.now() + timeoutMs;
  for (;;) {
    const text = fs.existsSync(logFile) ? fs.readFileSync(logFile, 'latin1') : '';
    const found = text.slice(from).match(pattern);
    if (found) return from + found.index + found[0].length;
    if (Date.now() >= deadline) assert.fail(`stand-in log has no ${what}:\n${text}`);
    await sleep(50);
  }
}

async function checkFlightData(inbox, controlPath, wpid) {
  const { commands, expected } = flightValues(wpid);
  for (const command of commands) await expectControl(controlPath, command);
  const isFlight = (m) => m.kind === 'data' && m.request === kFlightRequest;
  const matches = (m) => isFlight(m) && m.define === kFlightDefinition && m.bytes.equals(expected);
  const first = await inbox.waitFor(matches, 4000, 'the values set').catch(() => {
    const last = inbox.items.filter(isFlight).at(-1);
    assert.fail(`flight data differs from what was set:\n  got      ${last?.bytes.toString('hex')}` +
      `\n  expected ${expected.toString('hex')}`);
  });
  // Held values, so the next periodic reply carries them again, about a second later.
  const from = inbox.items.indexOf(first) + 1;
  const next = await inbox.waitFor(isFlight, 4000, 'the next periodic reply', from);
  assert.equal(next.bytes.toString('hex'), expected.toString('hex'), 'second periodic reply');
  const gap = next.at - first.at;
  assert.ok(gap >= 500 && gap <= 2500, `periodic replies ${gap} ms apart, not about a second`);
}

async function checkTitles(inbox, controlPath) {
  const isTitle = (m) => m.kind === 'bytype' && m.request === kTitleRequest && m.define === kTitleDefinition;
  const first = await inbox.waitFor(isTitle, 4000, 'the title by type');
  assertStringV(first.bytes, kTitle, 'title by type');
  await expectControl(controlPath, `title ${kSecondTitle}`);
  const second = await inbox.waitFor(isTitle, 4000, 'the new title', inbox.items.indexOf(first) + 1);
  assertStringV(second.bytes, kSecondTitle, 'title after the title command');
}

async function checkEvents(inbox, controlPath) {
  const after = () => inbox.items.length;
  let from = after();
  await expectControl(controlPath, 'start');
  const loaded = await inbox.waitFor((m) => m.kind === 'filename' && m.id === Event.PLANE_LOADED,
    4000, 'AircraftLoaded', from);
  assert.equal(loaded.file, kAircraftFile);
  const started = await inbox.waitFor((m) => m.kind === 'event' && m.id === Event.SIM_START, 4000,
    'SimStart', from);
  assert.ok(inbox.items.indexOf(loaded) < inbox.items.indexOf(started), 'SimStart came before AircraftLoaded');
  for (const state of [1, 0]) {
    from = after();
    await expectControl(controlPath, `pause ${state}`);
    await inbox.waitFor((m) => m.kind === 'event' && m.id === Event.PAUSE_STATE && m.data === state,
      4000, `Pause ${state} after "pause ${state}"`, from);
  }
}

async function checkTransmittedPause(handle, inbox, logFile) {
  const log = fs.readFileSync(logFile, 'latin1');
  let logFrom = log.length;
  for (const [event, name, state] of [[Event.PAUSE_ON, 'PAUSE_ON', 1], [Event.PAUSE_OFF, 'PAUSE_OFF', 0]]) {
    const from = inbox.items.length;
    callOnNode(handle, { name: 'TransmitClientEvent',
      args: [0, event, 0, kPriorityHighest, kGroupIdIsPriority] });
    await inbox.waitFor((m) => m.kind === 'event' && m.id === Event.PAUSE_STATE && m.data === state,
      4000, `Pause ${state} after ${name}`, from);
    const lines = new RegExp(
      `client \\d+: TRANSMIT_CLIENT_EVENT object=0 event=${event} \\(${name}\\) data=0 group=1 ` +
      `flags=0x10\\n(?:.*\\n)*?.*standin: pause state ${state}\\n`);
    logFrom = await waitForLog(logFile, lines, `${name} line followed by pause state ${state}`, logFrom);
  }
}

const kRuns = [
  [Protocol.FSX_SP2, 'FSX_SP2', 'KOK'],
  [Protocol.FSX_RTM, 'FSX_RTM', 'ABCDEFGH'],
  [Protocol.FSX_SP1, 'FSX_SP1', 'BIG'],
];
for (const [protocol, name, wpid] of kRuns) {
  test(`node-simconnect with ${name} against the stand-in`, async () => {
    const home = tempFolder('home');
    const runtime = tempFolder('run');
    const logFile = path.join(home.path, 'standin.log');
    let standin = null;
    let handle = null;
    try {
      standin = await startStandin(home.path, runtime.path, logFile);
      ({ handle } = await open(kProgramName, protocol, { host: '127.0.0.1', port: standin.port }));
      const inbox = listen(handle);
      await waitForLog(logFile, new RegExp(`OPEN app="${kProgramName}".*\\b(?:version|protocol)=${protocol}\\b`),
        `OPEN line for protocol ${protocol}`);
      // The program's calls up to, not including, its transmissions (those come last).
      for (const call of programCalls().filter((c) => c.name !== 'TransmitClientEvent'))
        callOnNode(handle, call);

      await checkTitles(inbox, standin.controlPath);
      await checkFlightData(inbox, standin.controlPath, wpid);
      await checkEvents(inbox, standin.controlPath);
      await checkTransmittedPause(handle, inbox, logFile);

      const trouble = inbox.items.filter((m) => m.kind === 'exception' || m.kind === 'error');
      assert.deepEqual(trouble, [], 'exceptions or errors reached node-simconnect');
      handle.close();
      handle = null;
      assert.equal(await standin.child.stop(), 0, `stand-in exit:\n${standin.child.output}`);
    } finally {
      handle?.close();
      if (standin) await standin.child.stop();
      home.remove();
      runtime.remove();
    }
  });
}

// open() would only time out after five seconds, so the connection is driven by hand to see the
// exception itself.
test('node-simconnect with a protocol no FSX release uses gets VERSION_MISMATCH and is closed', async () => {
  const home = tempFolder('home');
  const runtime = tempFolder('run');
  const logFile = path.join(home.path, 'standin.log');
  let standin = null;
  const connection = new SimConnectConnection(kProgramName, Protocol.KittyHawk);
  try {
    standin = await startStandin(home.path, runtime.path, logFile);
    const inbox = new Inbox();
    connection.on('open', () => inbox.push({ kind: 'open' }));
    connection.on('exception', (e) => inbox.push({ kind: 'exception', ...e }));
    connection.on('close', () => inbox.push({ kind: 'close' }));
    connection.on('error', (error) => inbox.push({ kind: 'error', message: String(error) }));
    connection.connect({ host: '127.0.0.1', port: standin.port });
    const exception = await inbox.waitFor((m) => m.kind === 'exception', 4000, 'an exception');
    assert.equal(exception.exception, 5, `exception ${exception.exceptionName}, not VERSION_MISMATCH`);
    assert.equal(exception.sendId, 0, 'the exception names node-simconnect\'s Open (send id 0)');
    await inbox.waitFor((m) => m.kind === 'close', 4000, 'the stand-in closing the connection');
    assert.ok(!inbox.items.some((m) => m.kind === 'open'), 'the stand-in opened protocol 5');
    await waitForLog(logFile, /OPEN app="QUENNICK TARVELX CONNECT" protocol=5\b.*refused/,
      'refused OPEN line for protocol 5');
    assert.equal(await standin.child.stop(), 0, `stand-in exit:\n${standin.child.output}`);
  } finally {
    connection.close();
    if (standin) await standin.child.stop();
    home.remove();
    runtime.remove();
  }
});
