// The program as a user's desktop runs it, on Linux and (TX_SYSTEM=windows) under Wine: the
// missing INI told once (and with an INI, not at all), the single-instance refusal, the
// simulator's values on the status page and its Pause link, keys through HTTP into the gauge's
// pipe, and the end while online, which says goodbye to the gauge and ends the log. (The log's
// first lines: the main window's start-up test.)

import assert from 'node:assert/strict';
import fs from 'node:fs';
import { after, test } from 'node:test';

import { count, rawGet, sleep, waitFor } from '../support/harness.mjs';

const onWindows = process.env.TX_SYSTEM === 'windows';
const { System } = await import(onWindows ? '../support/system_win32.mjs' : '../support/system_linux.mjs');
const kAlreadyRunning = 'Application is already running, only one instance is allowed.';

let system;

after(async () => {
  if (system) assert.deepEqual((await system.stop()).left, [], 'no program of the test is left');
});

test('without an INI file it says so once and runs on the defaults, creating no settings folder', async () => {
  const bare = new System({ name: 'no-ini' });
  try {
    bare.program = bare.track(bare.startProgram('no-ini'));
    const stderr = await bare.answerBox(bare.program, 'Information', 'The INI file is not found at ');
    assert.match(stderr, new RegExp(`^Information: The INI file is not found at '${bare.iniPattern}'!\n$`));
    assert.ok(bare.program.running);
    assert.equal(await bare.closeProgram(), 0);
    assert.equal(count(bare.program.stderr(), 'INI file'), 1);
    assert.equal(fs.existsSync(bare.settings), false, 'no settings folder, so no log either');
  } finally {
    await bare.stop();
  }
});

test('a second copy is refused, ends with 0 and leaves the first and its log alone', async () => {
  system = await System.start({ name: 'program' });
  assert.doesNotMatch(system.program.stderr(), /INI file/, 'with an INI, nothing about it');
  const logBefore = system.log();
  const second = system.track(system.startProgram('second'));
  second.stopping = true;
  assert.equal(await system.answerBox(second, 'Information', kAlreadyRunning), `Information: ${kAlreadyRunning}\n`);
  assert.equal(await second.waitExit(20000), 0);
  assert.ok(system.program.running, 'the first copy runs on');
  assert.equal(system.log().slice(0, logBefore.length), logBefore);
  assert.equal(count(system.log(), 'BEGIN'), 1);
  assert.match((await rawGet(system.port, '/')).toString('latin1'), /^HTTP\/1\.1 202 OK\n/, 'the first still serves');
});

// How the page shows a value and where the pause goes are the pages' and the link's own tests; here
// that the program joins them.
test('the status page shows the simulator\'s values and its Pause link pauses the simulator', async () => {
  await system.ctl('set ias 251.5');
  await waitFor(async () => (await rawGet(system.port, '/')).toString('latin1').includes('>251 Kts<'), 10000, 'the IAS set');
  await rawGet(system.port, '/pause');
  await waitFor(async () => (await system.ctl('status')).includes(' paused=1'), 10000, 'the simulator paused');
});

test('keys through HTTP reach the gauge in order; closed online, the gauge gets the close message', async () => {
  const codes = [7, 68, 39];
  for (const code of codes) await rawGet(system.port, `/MCDU_KB_${String(code).padStart(2, '0')}`);
  const keys = () => [...system.gaugeLog().matchAll(/GAUGE: code (\d+) \(/g)].map((match) => Number(match[1]));
  await waitFor(() => keys().length >= codes.length, 10000, 'the keys at the gauge');
  assert.deepEqual(keys(), codes);
  assert.doesNotMatch(system.log(), /FSX offline/, 'the presence check found the simulator at every tick');

  // Close requests one after another until it has ended: those after the first come while it
  // shuts down, or after its window has gone, and change nothing.
  system.program.stopping = true;
  const deadline = Date.now() + 60000;
  for (let sent = 0; system.program.running; ++sent) {
    assert.ok(Date.now() < deadline, 'the program hangs');
    await system.requestClose(sent % 2 ? 'SIGINT' : 'SIGTERM');
    await sleep(1);
  }
  assert.equal(await system.program.exited, 0);
  assert.ok(system.rawLog().endsWith(`]: TarvelXConnectExtended.exe: END.${onWindows ? '\r\n' : '\n'}`), 'END last');
  const log = system.log();
  assert.equal(count(log, 'END.'), 1);
  const order = ['CloseSimconnectThread...\n', 'CloseSimconnectThread complete\n', 'PIPE: Sends MSG_PIPE_CLOSE, 2 bytes.\n',
    'CloseWebserverThread...\n', 'CloseWebserverThread complete\n', 'TarvelXConnectExtended.exe: END.\n'];
  const positions = order.map((line) => log.lastIndexOf(line));
  assert.ok(positions.every((at, i) => at >= 0 && (i === 0 || at > positions[i - 1])), `in shutdown order:\n${log}`);
  await waitFor(() => system.gaugeLog().includes('GAUGE: code 255 (MSG_PIPE_CLOSE): connection dropped'), 10000,
    'the close message at the gauge');
  assert.deepEqual(keys(), [...codes, 255]);
});
