// The Windows program online with its stand-ins: the simulator's values on the status page, MCDU
// keys through HTTP into the gauge's named pipe in the order pressed, and offline within a couple
// of presence ticks once the simulator's window has gone.

import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';

import {
  count, heldRows, holdValues, rawGet, showsHeldValues, sleep, splitAnswer, statusRows, waitFor,
  WindowsSystem,
} from './winsystem.mjs';

let system;

before(async () => {
  system = await WindowsSystem.start({ name: 'online' });
});

after(async () => {
  if (system) assert.deepEqual(await system.stop(), [], 'no Windows program of the test is left');
});

async function page(target) {
  const answer = await rawGet(system.port, target);
  assert.ok(answer, `an answer to ${target}`);
  return splitAnswer(answer);
}

test('online, the status page shows the values the simulator sent', async () => {
  assert.equal(count(system.programLogText(), 'FSX online.\n'), 1);
  await holdValues(system.sim);
  // A periodic record (every second) or the one "data" sent at once brings them.
  const rows = await waitFor(async () => {
    const { body } = await page('/');
    const found = statusRows(body.toString('latin1'));
    return showsHeldValues(found) ? found : null;
  }, 10000, 'the held values on the status page');
  for (const [label, text] of Object.entries(heldRows)) assert.equal(rows[label], text, label);
  assert.equal(rows['Sim running'], '<a href=\'/pause\'>Pause</a>');
  assert.match(rows['LAST UPDATE'], /^\d\d:\d\d:\d\d$/);
  // The log's own rounding: two decimals, feet per second.
  assert.match(system.programLogText(), new RegExp(String.raw`Flight data received: IAS=251 Kts; Mach=0\.79 M; ` +
    String.raw`Alt=35000 Ft; Hdg=359; Distance=1\.00 NM; CurrentFuelTotal=123 LBS; Ground speed=450 Kts; ` +
    String.raw`Vert speed=-0\.66 feet/sec; NextWP=REMBA\.\n`));
});

test('MCDU keys pressed through HTTP reach the gauge\'s pipe in order', async () => {
  const codes = [7, 68, 0, 39, 12, 45, 1];
  const before = count(system.gaugeLogText(), 'GAUGE: code ');
  for (const code of codes) {
    const { head, body } = await page(`/MCDU_KB_${String(code).padStart(2, '0')}`);
    assert.match(head, /^HTTP\/1\.1 202 OK\n/);
    assert.ok(body.toString('latin1').endsWith('</html>\n'), 'the key command page');
  }
  const received = await waitFor(() => {
    const lines = [...system.gaugeLogText().matchAll(/GAUGE: code (\d+) \(/g)].map((match) => Number(match[1]));
    return lines.length >= before + codes.length ? lines.slice(before) : null;
  }, 10000, 'the keys at the gauge');
  assert.deepEqual(received, codes);
  const sent = [...system.programLogText().matchAll(/PIPE: Sends 2 bytes; Code: (\d+)\n/g)].map((match) => Number(match[1]));
  assert.deepEqual(sent, codes);
  assert.equal(count(system.gaugeLogText(), 'GAUGE: program connected'), 1, 'all through one connection');
});

test('offline within a couple of ticks once the simulator\'s window has gone', async () => {
  // The simulator is on its way out: it takes no new connections, so the link cannot come back.
  await system.sim.ctl('window hide');
  await sleep(1500);
  assert.doesNotMatch(system.programLogText(), /FSX offline\./, 'the open connection alone keeps it online');

  assert.equal(await system.closeSimWindow(), 0);
  const gone = Date.now();
  await system.waitForLog('FSX offline.\n', 3000);
  const took = Date.now() - gone;
  await sleep(2500);
  const log = system.programLogText();
  assert.equal(count(log, 'FSX offline.\n'), 1);
  assert.ok(log.indexOf('FSX online.\n', log.indexOf('FSX offline.\n')) < 0, 'it stays offline');
  assert.ok(took <= 3000, `offline after ${took} ms`);

  // The server does not wait for the simulator: it answers every path with the offline page.
  for (const target of ['/', '/MCDU', '/MCDU_KB_07']) {
    const { head, body } = await page(target);
    assert.match(head, /^HTTP\/1\.1 202 OK\n/, target);
    assert.match(body.toString('latin1'), /<title>FSX is offline<\/title>/, target);
  }
  const codes = count(system.gaugeLogText(), 'GAUGE: code ');

  // Offline at the end: no close message, the gauge just sees the pipe closed.
  assert.equal(await system.closeProgram(), 0);
  assert.match(system.programLogText(), /TarvelXConnectExtended\.exe: END\.\n$/);
  await waitFor(() => system.gaugeLogText().includes('GAUGE: program closed the connection'), 10000,
    'the pipe closed at the gauge');
  assert.equal(count(system.gaugeLogText(), 'GAUGE: code '), codes, 'nothing more reached the gauge');
  assert.doesNotMatch(system.gaugeLogText(), /MSG_PIPE_CLOSE/);
});
