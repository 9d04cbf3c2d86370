// The Windows program answers a Linux client over 127.0.0.1 byte for byte as the Linux program
// does, for the same requests in the same state: both programs run at once, online with the same
// simulator stand-in (one sim-standin, both connected, so every value reaches both alike), the
// same held flight values, the same two pictures in their working folders and the same display
// picture in their settings folders.
//
// Masked, and checked on their own instead:
// - the Date header's value: the time of each answer, and its form differs by system as each
//   C library's asctime writes it: on Windows the day of the month has a leading zero ("Dec 08"),
//   on Linux a blank ("Dec  8");
// - the status page's LAST UPDATE time: the local time at which each page was built.
// Nothing else is masked: the answers carry neither the server's address nor its port.

import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, test } from 'node:test';

import {
  Child, count, freeLoopbackPort, heldRows, holdValues, iniText, nativeBin, nativeWww, rawGet, readText,
  settingsDir, showsHeldValues, simConnectCfg, splitAnswer, statusRows, waitFor, windowsWww, WindowsSystem,
} from './winsystem.mjs';

let system;
const linux = {};

before(async () => {
  system = await WindowsSystem.start({ name: 'pages' });
  try {
    await startLinux();
  } catch (error) {
    await system.stop();
    system = null;
    throw error;
  }
});

after(async () => {
  if (!system) return;
  const linuxExit = linux.program ? await linux.program.stop('SIGTERM') : 0;
  const windowsExit = system.program.running ? await system.closeProgram() : system.program.exit;
  assert.deepEqual(await system.stop(), [], 'no Windows program of the test is left');
  assert.equal(linuxExit, 0, 'the Linux program ends cleanly');
  assert.equal(windowsExit, 0, 'the Windows program ends cleanly');
});

// The Linux program and its gauge, beside the Windows one: their own home and settings folder,
// the simulator stand-in's runtime folder (its main-window lock and the gauge's socket are there).
async function startLinux() {
  const home = path.join(system.root, 'linux-home');
  linux.settings = path.join(home, 'Documents', 'Quennick', 'Tarvel');
  linux.log = path.join(linux.settings, 'TarvelXConnectExtended.log');
  linux.display = path.join(system.root, 'linux-display');
  fs.mkdirSync(linux.settings, { recursive: true });
  fs.mkdirSync(path.join(home, '.config'), { recursive: true });
  fs.mkdirSync(linux.display);
  linux.port = await freeLoopbackPort();
  fs.writeFileSync(path.join(linux.settings, 'TarvelXConnectExtended.ini'), iniText(linux.port));
  fs.writeFileSync(path.join(linux.settings, 'SimConnect.cfg'), simConnectCfg(system.sim.port));
  const env = {
    PATH: process.env.PATH,
    LANG: 'C.UTF-8',
    HOME: home,
    XDG_CONFIG_HOME: path.join(home, '.config'),
    XDG_RUNTIME_DIR: system.sim.runtime,
    SDL_VIDEODRIVER: 'dummy',
    SDL_AUDIODRIVER: 'dummy',
  };
  const gaugeLog = path.join(system.root, 'linux-gauge-standin.log');
  system.extraLogs.push([linux.log, 'linux-program.log']);
  // Its display picture goes to a folder of its own: the programs get a copy of one picture.
  linux.gauge = new Child('linux gauge-standin', path.join(nativeBin, 'gauge-standin'),
    ['--settings', linux.display, '--log', gaugeLog], { env, cwd: system.root },
    path.join(system.root, 'linux-gauge-standin.out'));
  system.children.push(linux.gauge);
  linux.gaugeLog = gaugeLog;
  await waitFor(() => system.checkChildren() && readText(gaugeLog).includes('GAUGE: listening on'), 20000,
    'the Linux gauge stand-in');
  linux.program = new Child('linux TarvelXConnectExtended', path.join(nativeBin, 'TarvelXConnectExtended'), [],
    { env, cwd: nativeWww }, path.join(system.root, 'linux-program.out'));
  system.children.push(linux.program);
  await waitFor(() => system.checkChildren() && readText(linux.log).includes('FSX online.'), 20000,
    'the Linux program online');
}

const kMonths = ['Jan', 'Feb', 'Mar', 'Apr', 'May', 'Jun', 'Jul', 'Aug', 'Sep', 'Oct', 'Nov', 'Dec'];

// "Tue Dec  8 00:18:39 2026 GMT" (either form of the day) as milliseconds since the epoch.
function asctimeUtc(text) {
  const [, month, day, hours, minutes, seconds, year] =
    text.match(/^\w{3} (\w{3}) +(\d+) (\d\d):(\d\d):(\d\d) (\d{4}) GMT$/);
  return Date.UTC(Number(year), kMonths.indexOf(month), Number(day), Number(hours), Number(minutes), Number(seconds));
}

// The answer with the Date value and (on the status page) the page's time replaced, after
// checking that each has its system's form.
function masked(answer, target, system) {
  const text = answer.toString('latin1');
  const date = text.match(/^Date: (.*)$/m);
  assert.ok(date, `${system} ${target}: a Date header`);
  const day = system === 'Windows' ? String.raw`\d\d` : String.raw`[ \d]\d`;
  assert.match(date[1], new RegExp(String.raw`^[A-Z][a-z]{2} [A-Z][a-z]{2} ${day} \d\d:\d\d:\d\d \d{4} GMT$`),
    `${system} ${target}`);
  assert.ok(Math.abs(asctimeUtc(date[1]) - Date.now()) < 60000, `${system} ${target}: ${date[1]} is now`);
  let result = text.replace(/^Date: .*$/m, 'Date: <time of the answer>');
  if (target === '/') {
    const time = /(LAST UPDATE<\/td><td style="width: 321px;">)(\d\d:\d\d:\d\d)</;
    assert.match(result, time, `${system}: the page's time`);
    result = result.replace(time, '$1<time of the page><');
  }
  return result;
}

// Where two answers part, with a little of each around it.
function firstDifference(a, b) {
  let i = 0;
  while (i < a.length && i < b.length && a[i] === b[i]) i++;
  if (i === a.length && i === b.length) return null;
  const around = (text) => JSON.stringify(text.slice(Math.max(0, i - 40), i + 40));
  return `byte ${i} of ${a.length} (Windows) / ${b.length} (Linux): Windows ${around(a)}, Linux ${around(b)}`;
}

test('both programs are online with the same held flight values', async () => {
  await holdValues(system.sim);
  for (const [name, port] of [['Windows', system.port], ['Linux', linux.port]]) {
    const rows = await waitFor(async () => {
      const answer = await rawGet(port, '/');
      const found = answer ? statusRows(splitAnswer(answer).body.toString('latin1')) : {};
      return showsHeldValues(found) ? found : null;
    }, 10000, `the held values on the ${name} status page`);
    for (const [label, text] of Object.entries(heldRows)) assert.equal(rows[label], text, `${name} ${label}`);
  }
});

test('pages, key commands and pictures are the Linux program\'s bytes', async () => {
  // One display picture of the gauge, in both settings folders.
  const picture = path.join(linux.display, 'MCDU_Dspl.png');
  await waitFor(() => fs.existsSync(picture), 10000, 'the gauge\'s display picture');
  // Read once: the gauge writes a new one after each key.
  const pictureBytes = fs.readFileSync(picture);
  for (const folder of [settingsDir, linux.settings]) fs.writeFileSync(path.join(folder, 'MCDU_Dspl.png'), pictureBytes);
  assert.deepEqual(fs.readFileSync(path.join(nativeWww, 'busbanner.jpg')),
    fs.readFileSync(path.join(windowsWww, 'busbanner.jpg')), 'the same pictures in both working folders');

  const targets = ['/', '/MCDU', '/MCDU_main', '/MCDU_main?x=1', '/MCDU_KB_07', '/MCDU_KB_68', '/busbanner.jpg',
    '/mcdu_bg.jpg', '/MCDU_Dspl.png', '/missing.png', '/photo.png.jpg', '/x.JPG', '/nothing-here', '/offline'];
  const differences = [];
  for (const target of targets) {
    const windowsAnswer = await rawGet(system.port, target);
    const linuxAnswer = await rawGet(linux.port, target);
    assert.ok(windowsAnswer, `Windows answers ${target}`);
    assert.ok(linuxAnswer, `Linux answers ${target}`);
    const difference = firstDifference(masked(windowsAnswer, target, 'Windows'), masked(linuxAnswer, target, 'Linux'));
    if (difference) differences.push(`${target}: ${difference}`);
  }
  assert.deepEqual(differences, []);

  // The answers were not empty look-alikes: a picture came whole, the page had its table.
  const banner = splitAnswer(await rawGet(system.port, '/busbanner.jpg'));
  assert.ok(banner.body.equals(Buffer.concat([fs.readFileSync(path.join(windowsWww, 'busbanner.jpg')), Buffer.from('\n')])),
    'the banner whole, and the line feed after it');
  const display = splitAnswer(await rawGet(system.port, '/MCDU_Dspl.png'));
  assert.ok(display.body.equals(Buffer.concat([pictureBytes, Buffer.from('\n')])), 'the display picture whole');
  assert.match(display.head, /\nContent-Type: image\/png\n/);
  const status = splitAnswer(await rawGet(system.port, '/'));
  assert.equal(statusRows(status.body.toString('latin1')).IAS, heldRows.IAS);

  // Both gauges got the two keys.
  for (const [name, log] of [['Windows', () => system.gaugeLogText()], ['Linux', () => readText(linux.gaugeLog)]]) {
    await waitFor(() => count(log(), 'GAUGE: code ') >= 2, 10000, `the keys at the ${name} gauge`);
    assert.deepEqual([...log().matchAll(/GAUGE: code (\d+) /g)].map((match) => match[1]), ['7', '68'], name);
  }
});
