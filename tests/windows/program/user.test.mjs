// The program as a user runs it whose name the ANSI code page cannot hold ("Michał-Пилот": the
// documents folder is C:\users\Michał-Пилот\Documents), from a copy in a folder named outside the
// code page too, started from a shortcut's empty working folder, and ended by a logoff. The file
// makes a Wine prefix of its own for that user, in the session's display, and removes it after.

import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';

const kUser = 'Michał-Пилот';
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'tx-winuser-'));
// Wine names the profile folder after USER, and reads names outside ASCII only in a UTF-8 locale.
Object.assign(process.env, {
  HOME: path.join(scratch, 'home'), WINEPREFIX: path.join(scratch, 'prefix'), USER: kUser, LANG: 'C.UTF-8',
});
fs.mkdirSync(path.join(process.env.HOME, 'Documents'), { recursive: true });
fs.mkdirSync(process.env.WINEPREFIX);
// The harness reads the prefix and home from the environment as it loads.
const { count, rawGet, sourceDir, waitFor } = await import('../../support/harness.mjs');
const { System } = await import('../../support/system_win32.mjs');

let system;

before(async () => {
  // Wine's services keep the standard streams they inherit: a file, not a pipe to wait on.
  const out = fs.openSync(path.join(scratch, 'prefix-make.out'), 'w');
  const made = spawnSync('bash', ['-c', 'source "$0" && wine_prefix_make "$1"', path.join(sourceDir, 'scripts', 'wine-session.sh'), scratch],
  { env: process.env, stdio: ['ignore', out, out], timeout: 120000 });
  assert.equal(made.status, 0, fs.readFileSync(path.join(scratch, 'prefix-make.out'), 'utf8'));
  // The settings folder's SimConnect.cfg names the stand-in, the one beside the copy a port
  // nothing serves: online, the settings folder's won.
  system = await System.start({ name: 'user', copyTo: 'Programme Пилот', cfgBeside: 'also' });
});

after(async () => {
  try {
    if (system) assert.deepEqual((await system.stop()).left, [], 'no Windows program of the test is left');
  } finally {
    for (const flag of ['-k', '-w']) spawnSync('wineserver', [flag], { env: process.env, stdio: 'ignore', timeout: 30000 });
    fs.rmSync(scratch, { recursive: true, force: true });
  }
});

test('INI, log and display picture in that user\'s documents; the pages\' pictures from beside the exe', async () => {
  const lines = fs.readFileSync(system.programLog, 'utf8').split('\r\n');
  assert.ok(lines[0].endsWith(`]: TarvelXConnectExtended.exe: BEGIN; LOG: C:\\users\\${kUser}\\Documents\\` +
    'Quennick\\Tarvel\\TarvelXConnectExtended.ini.'), `${lines[0]} names the INI in UTF-8`);
  assert.match(lines[2], /\]: Module version: 1\.2\.0\.0\. Date\/time: /, 'the version resource of the copy');

  // Each answer's body begins with the file's bytes (the server may send more after a file's end).
  fs.writeFileSync(path.join(system.settings, 'MCDU_Dspl.png'), '\x89PNG\r\n\x1a\n a display of the gauge', 'latin1');
  const pictures = ['busbanner.jpg', 'mcdu_bg.jpg'].map((name) => path.join(system.programFolder, name));
  for (const file of [path.join(system.settings, 'MCDU_Dspl.png'), ...pictures]) {
    const [answer, bytes] = [await rawGet(system.port, `/${path.basename(file)}`), fs.readFileSync(file)];
    assert.ok(answer.subarray(answer.indexOf('\n\n') + 2).subarray(0, bytes.length).equals(bytes), `${file} is served`);
  }
  assert.deepEqual(fs.readdirSync(system.workingFolder), [], 'nothing in the working folder');
});

// A logoff closes the simulator and the program at the same moment: the simulator's quit reaches
// the link while the session's end arrives. The logoff ends the simulator's window stand-in too, so
// the program may see it gone first and close offline, without the close message.
test('a logoff while the simulator quits ends it: every thread done before END, the gauge told if online', async () => {
  const logoff = new Promise((resolve) => spawn('wineboot', ['--end-session'], { env: process.env, stdio: 'ignore' })
    .on('exit', resolve).on('error', () => resolve(null)));
  system.sim.stopping = true;  // the stand-in ends after its quit
  await system.ctl('quit');
  assert.equal(await logoff, 0, 'wineboot --end-session');
  await system.program.waitExit(20000);
  assert.ok(system.rawLog().endsWith(']: TarvelXConnectExtended.exe: END.\r\n'), 'END is the last line');
  const log = system.log();
  const online = !log.includes('FSX offline.');
  await waitFor(() => (online ? /GAUGE: code 255/ : /GAUGE: (code 255|program closed the connection)/).test(system.gaugeLog()),
    10000, online ? 'the close message at the gauge' : 'the pipe closed');
  const finished = log.indexOf('SimConnect thread finished.');
  assert.ok(finished >= 0 && finished < log.indexOf('CloseWebserverThread complete'), 'the worker ended first');
  assert.ok(log.indexOf('CloseSimconnectThread complete') < log.indexOf('CloseWebserverThread complete'), 'in shutdown order');
  assert.equal(count(log, 'END.'), 1);
});
