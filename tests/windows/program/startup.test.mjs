// The Windows program's start, its single-instance refusal and its end, as a user's desktop sees
// them: the log's first lines (the version from the exe's own version resource), a second copy
// that shows its message box and ends without touching the log, and WM_CLOSE from taskkill while
// the simulator is online, which says goodbye to the gauge before the END line.

import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, test } from 'node:test';

import {
  boxCloserExe, count, programExe, rawGet, requestClose, runWindows, WindowsSystem,
} from './winsystem.mjs';

let system;

before(async () => {
  system = await WindowsSystem.start({ name: 'startup' });
});

after(async () => {
  if (system) assert.deepEqual(await system.stop(), [], 'no Windows program of the test is left');
});

const kStamp = String.raw`^\[\d\d/\d\d/\d{4} \d\d:\d\d:\d\d:\d{3}\]: `;

function two(number) {
  return String(number).padStart(2, '0');
}

// A file time as the version line prints it: local time, day first.
function localStamp(date) {
  return `${two(date.getDate())}/${two(date.getMonth() + 1)}/${date.getFullYear()} ` +
    `${two(date.getHours())}:${two(date.getMinutes())}:${two(date.getSeconds())}`;
}

test('the log begins with the BEGIN, Dataflags and version lines and the web server\'s lines', () => {
  // Opened in text mode ("wt"): every line ends in CR LF, as Windows' own tools expect. (The log
  // is still being written: its last line may not be whole yet.)
  assert.doesNotMatch(system.rawProgramLog(), /[^\r]\n/, 'no line ends in a bare LF');
  const lines = system.programLogText().split('\n');
  assert.match(lines[0], new RegExp(kStamp + String.raw`TarvelXConnectExtended\.exe: BEGIN; LOG: ` +
    String.raw`C:\\users\\[^\\]+\\Documents\\Quennick\\Tarvel\\TarvelXConnectExtended\.ini\.$`));
  assert.match(lines[1], new RegExp(kStamp + String.raw`Dataflags: 1, 1, size=0x00000000\.$`));
  // The version comes from the exe's VERSIONINFO, the date from the exe file's last write.
  const written = localStamp(fs.statSync(programExe).mtime);
  assert.match(lines[2], new RegExp(kStamp + String.raw`Module version: 1\.2\.0\.0\. Date/time: `));
  assert.ok(lines[2].endsWith(` Date/time: ${written}.`), `${lines[2]} names the exe's time ${written}`);

  const log = system.programLogText();
  for (const line of ['Starting the webserver (main) thread...\n', 'Webserver (main) thread started.\n',
    'PIPE: The named pipe, \\\\.\\pipe\\MCDU_Input, is connected.\n']) {
    assert.equal(count(log, line), 1, line);
  }
  assert.match(log, /\]: Webbrowser IP: \d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3}\.\n/);
  assert.equal(count(log, 'BEGIN'), 1);
});

test('a second copy shows its message box, ends with 0 and leaves the first running', async () => {
  const logBefore = system.programLogText();
  const second = system.startProgram('second');
  // The box is modal: the copy waits in it until OK is pressed.
  // Standard error is in text mode too: the line ends in CR LF.
  const message = 'Information: Application is already running, only one instance is allowed.\r\n';
  const deadline = Date.now() + 40000;
  while (!second.stderr().includes(message) && second.running && Date.now() < deadline) {
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
  assert.ok(second.running, `the second copy waits in its box (ended with ${second.exit})`);
  assert.equal(second.stderr(), message);

  const closer = runWindows(boxCloserExe, ['--caption', 'Information', '--timeout-ms', '20000'], 40000);
  assert.equal(closer.status, 0, closer.stdout + closer.stderr);
  assert.match(closer.stdout, /^BOX: found Information$/m);
  assert.match(closer.stdout, /^BOX: text Application is already running, only one instance is allowed\.$/m);
  assert.match(closer.stdout, /^BOX: closed$/m);

  assert.equal(await second.waitExit(20000), 0, 'the refused copy ends with 0, as on Linux');
  assert.ok(system.program.running, 'the first copy runs on');
  const logAfter = system.programLogText();
  assert.equal(logAfter.slice(0, logBefore.length), logBefore, 'the first copy\'s log is untouched');
  assert.equal(count(logAfter, 'BEGIN'), 1);
  const answer = await rawGet(system.port, '/');
  assert.ok(answer && answer.toString('latin1').startsWith('HTTP/1.1 202 OK\n'), 'the first copy still serves');
});

test('WM_CLOSE from taskkill ends it: close message to the gauge while online, then END', async () => {
  assert.match(system.programLogText(), /FSX online\.\n/);
  assert.doesNotMatch(system.programLogText(), /FSX offline\./);
  // Close requests one after another until the program has ended: those after the first come
  // while it shuts down, or after its window has gone, and change nothing.
  system.program.stopping = true;
  assert.equal(await requestClose(path.basename(programExe)), 0, 'taskkill found the program');
  while (system.program.running) await requestClose(path.basename(programExe));
  assert.equal(await system.program.waitExit(20000), 0, 'the program ends with 0 through its close path');

  assert.ok(system.rawProgramLog().endsWith(']: TarvelXConnectExtended.exe: END.\r\n'), 'END is the last line');
  assert.doesNotMatch(system.rawProgramLog(), /[^\r]\n/, 'no line ends in a bare LF');
  const log = system.programLogText();
  assert.equal(count(log, 'END.'), 1);
  // Shutdown order: the simulator worker, the close message, the web server, END.
  const order = ['CloseSimconnectThread...\n', 'CloseSimconnectThread complete\n',
    'PIPE: Sends MSG_PIPE_CLOSE, 2 bytes.\n', 'CloseWebserverThread...\n', 'CloseWebserverThread complete\n',
    'TarvelXConnectExtended.exe: END.\n'];
  const positions = order.map((line) => log.lastIndexOf(line));
  for (let i = 0; i < order.length; i++) assert.ok(positions[i] >= 0, `${order[i]} in the log`);
  assert.deepEqual([...positions].sort((a, b) => a - b), positions, 'in shutdown order');

  const gauge = system.gaugeLogText();
  assert.match(gauge, /GAUGE: code 255 \(MSG_PIPE_CLOSE\): connection dropped/);
  assert.equal(count(gauge, 'GAUGE: code '), 1, 'the close message is the only one the gauge got');
});
