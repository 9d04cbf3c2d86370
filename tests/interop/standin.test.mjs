// node-simconnect, an independent client, against our simulator stand-in over TCP: the only check
// of what the stand-in sends that does not go through our own library. The title comes by type
// and a flight record as the control channel set it, bit for bit; a transmitted PAUSE_ON reaches
// the stand-in and pauses it.

import assert from 'node:assert/strict';
import fs from 'node:fs';
import { test } from 'node:test';

import { open, Protocol } from 'node-simconnect';

import { callOnNode, Event, kFlightRequest, kProgramName, kTitleRequest, programCalls, transmit } from './calls.mjs';
import { waitFor } from '../support/harness.mjs';
import { System } from '../support/system_linux.mjs';

const kTitle = 'Airbus A321 Interop Edition';
const kNumbers = [['ias', 251.5], ['mach', 0.7834567891234567], ['altitude', 35012.25], ['heading', 4.71238898038469],
  ['wpdistance', 123456.789], ['fuel', 18234.56789], ['groundspeed', 231.4814814814815], ['vspeed', -5.08]];

test('node-simconnect reads the stand-in\'s title and flight data and pauses it', async () => {
  const home = new System({ name: 'interop' });
  await home.writeSettings();
  const standin = home.startBuilt('sim-standin', ['--port', String(home.simPort), '--bind', '127.0.0.1', '--log',
    home.simLog, '--title', kTitle]);
  let handle;
  try {
    await waitFor(() => home.ctl('status').catch(() => false), 10000, 'the stand-in');
    ({ handle } = await open(kProgramName, Protocol.FSX_SP2, { host: '127.0.0.1', port: home.simPort }));
    const inbox = [];
    handle.on('simObjectData', (d) => inbox.push({ request: d.requestID, bytes: d.data.readBytes(d.data.remaining()) }));
    handle.on('simObjectDataByType', (d) => inbox.push({ request: d.requestID, bytes: d.data.readBytes(d.data.remaining()) }));
    handle.on('event', (e) => inbox.push({ event: e.clientEventId, data: e.data }));
    handle.on('exception', (e) => inbox.push({ exception: e.exceptionName }));
    programCalls().filter((call) => call.name !== 'TransmitClientEvent').forEach((call) => callOnNode(handle, call));

    // The title: the text, its NUL, then only zeros.
    const title = await waitFor(() => inbox.find((m) => m.request === kTitleRequest), 5000, 'the title');
    const padding = Buffer.alloc(Math.max(0, title.bytes.length - kTitle.length - 1));
    assert.equal(title.bytes.toString('hex'), Buffer.concat([Buffer.from(`${kTitle}\0`), padding]).toString('hex'));

    // A flight record: eight doubles, then the next waypoint's 8 characters.
    const record = Buffer.alloc(72);
    kNumbers.forEach(([, value], i) => record.writeDoubleLE(value, 8 * i));
    record.write('ABCDEFGH', 64, 'latin1');
    for (const command of [...kNumbers.map(([field, value]) => `set ${field} ${value}`), 'set wpid ABCDEFGH'])
      await home.ctl(command);
    await waitFor(() => inbox.find((m) => m.request === kFlightRequest && m.bytes.equals(record)), 5000,
      `the record set: ${record.toString('hex')}, last ${inbox.findLast((m) => m.request === kFlightRequest)?.bytes.toString('hex')}`);

    callOnNode(handle, transmit(Event.PAUSE_ON));
    await waitFor(() => inbox.find((m) => m.event === Event.PAUSE_STATE && m.data === 1), 5000, 'Pause 1');
    assert.match(fs.readFileSync(home.simLog, 'latin1'), /TRANSMIT_CLIENT_EVENT object=0 event=3 \(PAUSE_ON\) data=0 group=1 flags=0x10\n(.*\n)*?.*standin: pause state 1\n/);
    assert.deepEqual(inbox.filter((m) => m.exception), []);
  } finally {
    handle?.close();
    assert.equal(await standin.stop(), 0, standin.stderr());
    fs.rmSync(home.root, { recursive: true, force: true });
  }
});
