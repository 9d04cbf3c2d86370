// The program as a user runs it whose name the ANSI code page cannot hold ("Michał-Пилот", so the
// documents folder is C:\users\Michał-Пилот\Documents): from a copy in a folder named outside the
// code page too, started from a shortcut's empty working folder; and ended by a logoff. The file
// makes a Wine prefix of its own for that user, in the session's display, and removes it after.

import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { fileURLToPath } from 'node:url';

const kUser = 'Michał-Пилот';
const here = path.dirname(fileURLToPath(import.meta.url));
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'tx-winuser-'));
// Wine names the profile folder after USER, and reads names outside ASCII only in a UTF-8 locale.
Object.assign(process.env, {
  HOME: path.join(scratch, 'home'),
  WINEPREFIX: path.join(scratch, 'prefix'),
  USER: kUser,
  LANG: 'C.UTF-8',
});
fs.mkdirSync(path.join(process.env.HOME, 'Documents'), { recursive: true });
fs.mkdirSync(process.env.WINEPREFIX);

// The harness reads the prefix, home and locale from the environment as it loads.
const {
  count, pagePictures, programLog, rawGet, settingsDir, splitAnswer, waitFor, windowsWww, WindowsSystem,
} = await import('./winsystem.mjs');

function wineserver(flag) {
  spawnSync('wineserver', [flag], { env: process.env, stdio: 'ignore', timeout: 30000 });
}

let system;

before(async () => {
  // Wine's services keep the standard streams they inherit: a file, not a pipe to wait on.
  const out = fs.openSync(path.join(scratch, 'prefix-make.out'), 'w');
  const made = spawnSync('bash', ['-c', 'source "$0" && wine_prefix_make "$1"',
    path.join(here, '..', '..', '..', 'scripts', 'wine-session.sh'), scratch],
  { env: process.env, stdio: ['ignore', out, out], timeout: 120000 });
  fs.closeSync(out);
  assert.equal(made.status, 0, fs.readFileSync(path.join(scratch, 'prefix-make.out'), 'utf8'));
  assert.ok(fs.existsSync(path.join(process.env.WINEPREFIX, 'drive_c', 'users', kUser)), 'the user\'s profile folder');
  system = await WindowsSystem.start({ name: 'user', pictures: 'beside', programFolderName: 'Programme Пилот' });
});

after(async () => {
  try {
    if (system) assert.deepEqual(await system.stop(), [], 'no Windows program of the test is left');
  } finally {
    wineserver('-k');
    wineserver('-w');
    fs.rmSync(scratch, { recursive: true, force: true });
  }
});

test('INI, log, SimConnect.cfg and the gauge\'s picture are in that user\'s documents folder', async () => {
  // Started, the program answers on the INI's port and went online through the SimConnect.cfg there.
  const log = fs.readFileSync(programLog, 'utf8').replaceAll('\r\n', '\n');
  const lines = log.split('\n');
  assert.ok(lines[0].endsWith(`]: TarvelXConnectExtended.exe: BEGIN; LOG: C:\\users\\${kUser}\\Documents\\` +
    'Quennick\\Tarvel\\TarvelXConnectExtended.ini.'), `${lines[0]} names the INI in UTF-8`);
  // The version resource of an exe in a folder named outside the code page.
  assert.match(lines[2], /\]: Module version: 1\.2\.0\.0\. Date\/time: /);
  assert.equal(count(log, 'FSX online.\n'), 1);

  const picture = Buffer.from('\x89PNG\r\n\x1a\n a display of the gauge', 'latin1');
  fs.writeFileSync(path.join(settingsDir, 'MCDU_Dspl.png'), picture);
  const answer = splitAnswer(await rawGet(system.port, '/MCDU_Dspl.png'));
  assert.match(answer.head, /^HTTP\/1\.1 202 OK\n/);
  assert.ok(answer.body.subarray(0, picture.length).equals(picture), 'the gauge\'s picture is served');
});

test('started in an empty working folder, it serves both pictures from beside the exe', async () => {
  assert.deepEqual(fs.readdirSync(system.workingFolder), [], 'nothing in the working folder');
  for (const picture of pagePictures) {
    const answer = splitAnswer(await rawGet(system.port, `/${picture}`));
    const bytes = fs.readFileSync(path.join(windowsWww, picture));
    assert.ok(bytes.length > 0);
    assert.ok(answer.body.subarray(0, bytes.length).equals(bytes), `${picture} is served`);
  }
  assert.doesNotMatch(fs.readFileSync(programLog, 'latin1'), /Failed to open image file/);
});

test('a logoff ends it online: the gauge\'s close message, END last, the process gone', async () => {
  system.program.stopping = true;
  const ended = spawnSync('wineboot', ['--end-session'], { env: process.env, stdio: 'ignore', timeout: 60000 });
  assert.equal(ended.status, 0, 'wineboot --end-session');
  await system.program.waitExit(20000);
  await waitFor(() => system.gaugeLogText().includes('GAUGE: code 255'), 10000, 'the close message');

  const raw = fs.readFileSync(programLog, 'latin1');
  assert.ok(raw.endsWith(']: TarvelXConnectExtended.exe: END.\r\n'), 'END is the last line');
  const log = raw.replaceAll('\r\n', '\n');
  const order = ['CloseSimconnectThread complete\n', 'PIPE: Sends MSG_PIPE_CLOSE, 2 bytes.\n',
    'CloseWebserverThread complete\n', 'TarvelXConnectExtended.exe: END.\n'];
  const positions = order.map((line) => log.lastIndexOf(line));
  for (let i = 0; i < order.length; i++) assert.ok(positions[i] >= 0, `${order[i]} in the log`);
  assert.deepEqual([...positions].sort((a, b) => a - b), positions, 'in shutdown order');
  assert.match(system.gaugeLogText(), /GAUGE: code 255 \(MSG_PIPE_CLOSE\): connection dropped/);
});
