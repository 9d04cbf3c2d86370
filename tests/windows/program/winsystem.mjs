// The Windows program as a real process under Wine, with its stand-ins: the gauge's named pipe and
// the simulator's FS98MAIN window are Windows programs in the same Wine prefix, the simulator's
// protocol is served by the Linux sim-standin over TCP on 127.0.0.1. The Linux program and its
// stand-ins can run beside it, for answers to compare.
//
// Runs in the prefix, home and display that scripts/windows-test.sh made (WINEPREFIX, HOME,
// DISPLAY). The program's settings folder is <documents>\Quennick\Tarvel\, and the prefix's
// documents folder is $HOME/Documents, so the tests write and read it there.

import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const sourceDir = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..', '..');
export const windowsBuildDir = path.resolve(process.env.TX_WINDOWS_BUILD_DIR || path.join(sourceDir, 'build-windows'));
export const windowsBin = path.join(windowsBuildDir, 'bin');
export const windowsWww = path.join(windowsBuildDir, 'www');
export const nativeBin = path.resolve(process.env.TX_NATIVE_BIN_DIR || path.join(sourceDir, 'build', 'bin'));
export const nativeWww = path.join(path.dirname(nativeBin), 'www');
export const artefactsDir = path.join(windowsBuildDir, 'artefacts');

export const programExe = path.join(windowsBin, 'TarvelXConnectExtended.exe');
export const gaugeExe = path.join(windowsBin, 'gauge-standin.exe');
export const simWindowExe = path.join(windowsBin, 'simwindow-standin.exe');
export const boxCloserExe = path.join(windowsBin, 'messagebox-closer.exe');
// Every Windows program these tests start, by image name: what must be gone after each test.
export const windowsImages = [programExe, gaugeExe, simWindowExe, boxCloserExe].map((exe) => path.basename(exe));

// The web pages' own pictures, which the program reads from its working folder.
export const pagePictures = ['busbanner.jpg', 'mcdu_bg.jpg'];

export const settingsDir = path.join(process.env.HOME || os.homedir(), 'Documents', 'Quennick', 'Tarvel');
export const programLog = path.join(settingsDir, 'TarvelXConnectExtended.log');

// A program's first start in a prefix loads a lot under Wine, on a machine shared with builds.
const kStartTimeoutMs = 40000;
const kStopTimeoutMs = 20000;

export const wineEnv = {
  ...process.env,
  WINEDEBUG: '-all',
  WINEDLLOVERRIDES: 'mscoree,mshtml=',
};

export function sleep(ms) {
  return new Promise((resolve) => setTimeout(resolve, ms));
}

export function readText(file) {
  try {
    return fs.readFileSync(file, 'latin1');
  } catch {
    return '';
  }
}

// Polls `condition` (may be async) until it gives a truthy value, which is returned.
export async function waitFor(condition, timeoutMs, what) {
  const deadline = Date.now() + timeoutMs;
  for (;;) {
    const value = await condition();
    if (value) return value;
    if (Date.now() >= deadline) throw new Error(`timed out after ${timeoutMs} ms waiting for ${what}`);
    await sleep(50);
  }
}

export function count(text, part) {
  return text.split(part).length - 1;
}

export async function freeLoopbackPort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.once('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

// A Linux path as a Windows program in the prefix names it (Wine's drive Z: is the root).
export function windowsPath(unixPath) {
  return 'Z:' + unixPath.replaceAll('/', '\\');
}

// What is missing to run these tests at all; an empty list when everything is there.
export function missingPrerequisites() {
  const missing = [];
  if (!process.env.WINEPREFIX) missing.push('a Wine prefix (run through scripts/windows-test.sh)');
  if (spawnSync('wine', ['--version'], { stdio: 'ignore' }).status !== 0) missing.push('wine');
  for (const file of [programExe, gaugeExe, simWindowExe, boxCloserExe]) {
    if (!fs.existsSync(file)) missing.push(file);
  }
  for (const file of [path.join(nativeBin, 'sim-standin'), path.join(nativeBin, 'gauge-standin'),
    path.join(nativeBin, 'TarvelXConnectExtended'), path.join(nativeWww, 'busbanner.jpg')]) {
    if (!fs.existsSync(file)) missing.push(`${file} (build the native programs)`);
  }
  if (!process.env.DISPLAY) missing.push('a display (DISPLAY) for the Windows windows');
  // The tests clear the settings folder: only in a scratch home that the prefix's documents
  // folder points into, never in a real one.
  if (process.env.WINEPREFIX && missing.length === 0) {
    const users = path.join(process.env.WINEPREFIX, 'drive_c', 'users');
    const realPath = (folder) => (fs.existsSync(folder) ? fs.realpathSync(folder) : null);
    const documents = fs.existsSync(users)
      ? fs.readdirSync(users).map((user) => realPath(path.join(users, user, 'Documents'))) : [];
    const home = realPath(path.join(process.env.HOME || '', 'Documents'));
    if (home === null || !documents.includes(home)) {
      missing.push(`a prefix whose documents folder is $HOME/Documents (${process.env.HOME})`);
    }
  }
  return missing;
}

// One raw HTTP exchange over 127.0.0.1: resolves with the whole answer as bytes, or null when the
// connection was refused or nothing came. The same request bytes go to whichever server is asked.
export function rawGet(port, target, timeoutMs = 10000) {
  return new Promise((resolve) => {
    const socket = net.createConnection({ host: '127.0.0.1', port });
    const chunks = [];
    const timer = setTimeout(() => socket.destroy(), timeoutMs);
    socket.on('connect', () => socket.write(`GET ${target} HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n`));
    socket.on('data', (chunk) => chunks.push(chunk));
    socket.on('error', () => {});
    socket.on('close', () => {
      clearTimeout(timer);
      resolve(chunks.length ? Buffer.concat(chunks) : null);
    });
  });
}

// Whatever still runs when this process ends (a test that threw before its clean-up) goes with it.
const liveChildren = new Set();
process.on('exit', () => {
  for (const child of liveChildren) child.process.kill('SIGKILL');
});

// A process of this test. Under Wine, `wine x.exe` becomes the Windows process itself (same
// process id), so a signal reaches the Windows program.
export class Child {
  constructor(name, program, args, options, outFile) {
    this.name = name;
    this.exit = null;
    this.outFile = outFile;
    this.errFile = outFile.replace(/\.out$/, '.err');
    const out = fs.openSync(this.outFile, 'a');
    const err = fs.openSync(this.errFile, 'a');
    this.process = spawn(program, args, { ...options, stdio: [options.stdin ?? 'ignore', out, err] });
    fs.closeSync(out);
    fs.closeSync(err);
    // A write to a program that has ended is no error of the test's.
    this.process.stdin?.on('error', () => {});
    liveChildren.add(this);
    this.exited = new Promise((resolve) => {
      this.process.on('exit', (code, signal) => {
        this.exit = signal ? `signal ${signal}` : code;
        liveChildren.delete(this);
        resolve(this.exit);
      });
      this.process.on('error', (error) => {
        this.exit = `failed to start: ${error.message}`;
        liveChildren.delete(this);
        resolve(this.exit);
      });
    });
  }

  get running() {
    return this.exit === null;
  }

  stdout() {
    return readText(this.outFile);
  }

  stderr() {
    return readText(this.errFile);
  }

  // Resolves with the exit code, or throws when it has not ended within timeoutMs.
  async waitExit(timeoutMs) {
    let timer;
    const timeout = new Promise((resolve) => {
      timer = setTimeout(resolve, timeoutMs, 'timeout');
    });
    const result = await Promise.race([this.exited, timeout]);
    clearTimeout(timer);
    if (result === 'timeout' && this.running) throw new Error(`${this.name} still runs after ${timeoutMs} ms`);
    return this.exit;
  }

  // The signal (SIGTERM unless told), then SIGKILL when it has not ended in time. Resolves with
  // the exit code (or signal).
  async stop(signal = 'SIGTERM') {
    this.stopping = true;
    if (!this.running) return this.exit;
    this.process.kill(signal);
    const timer = setTimeout(() => {
      if (this.running) this.process.kill('SIGKILL');
    }, kStopTimeoutMs);
    const exit = await this.exited;
    clearTimeout(timer);
    return exit;
  }
}

// A Windows program run under Wine as `wine <exe> <args>`.
export function startWindows(name, exe, args, { cwd, outFile, stdin } = {}) {
  const child = new Child(name, 'wine', [exe, ...args], { env: wineEnv, cwd: cwd ?? os.tmpdir(), stdin }, outFile);
  child.windows = true;
  return child;
}

// Runs a Windows program to its end (taskkill and the like); { status, stdout, stderr }.
export function runWindows(exe, args, timeoutMs = 30000) {
  const result = spawnSync('wine', [exe, ...args], { env: wineEnv, encoding: 'latin1', timeout: timeoutMs });
  return { status: result.status, stdout: result.stdout ?? '', stderr: result.stderr ?? '' };
}

// taskkill's close request (WM_CLOSE, no /F) to every running copy of `image`, without holding
// this process's event loop; resolves with taskkill's exit status.
export function requestClose(image) {
  return new Promise((resolve) => {
    const taskkill = spawn('wine', ['taskkill', '/IM', image], { env: wineEnv, stdio: 'ignore' });
    taskkill.on('exit', (code) => resolve(code));
    taskkill.on('error', () => resolve(null));
  });
}

// The processes of this prefix that run one of the tests' Windows programs: their process ids and
// command lines. Other prefixes on the machine (other test runs) are not looked at.
export function windowsProcessesLeft() {
  const found = [];
  for (const entry of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(entry)) continue;
    try {
      const environ = fs.readFileSync(`/proc/${entry}/environ`, 'latin1').split('\0');
      if (!environ.includes(`WINEPREFIX=${process.env.WINEPREFIX}`)) continue;
      const commandLine = fs.readFileSync(`/proc/${entry}/cmdline`, 'latin1').replaceAll('\0', ' ');
      if (windowsImages.some((image) => commandLine.toLowerCase().includes(image.toLowerCase()))) {
        found.push(`${entry}: ${commandLine.trim()}`);
      }
    } catch {
      // Gone meanwhile, or not ours to read.
    }
  }
  return found;
}

// Ends whatever of the tests' Windows programs still runs in the prefix: by force, through Wine's
// own taskkill, which ends the Windows process wherever it came from.
export function killWindowsLeftovers() {
  for (const image of windowsImages) {
    if (windowsProcessesLeft().some((line) => line.toLowerCase().includes(image.toLowerCase()))) {
      runWindows('taskkill', ['/F', '/IM', image]);
    }
  }
}

// Removes the settings folder with everything in it (the program never creates it).
export function clearSettings() {
  fs.rmSync(path.dirname(settingsDir), { recursive: true, force: true });
}

// The INI file every test writes for itself; WebserverWaits4Sim=0 serves at once, online or not.
export function iniText(port, waits4Sim = 0) {
  return `[Common]\nLogging=1\nDataRequestPeriod=1\n\n[Server]\nEnabled=1\nPort=${port}\n` +
    `WebserverWaits4Sim=${waits4Sim}\n`;
}

export function simConnectCfg(simPort) {
  return `[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=${simPort}\n`;
}

// The Linux simulator stand-in with a runtime folder of its own, reached over TCP on 127.0.0.1.
// rate: simulated seconds per real second.
export class SimStandin {
  constructor(root, runtime, { rate = 1 } = {}) {
    this.root = root;
    this.runtime = runtime;
    this.rate = rate;
    this.log = path.join(root, 'sim-standin.log');
    this.controlPath = path.join(runtime, 'sim-standin.ctl');
  }

  // Started again after it ended, it serves the same port: the program's SimConnect.cfg names it.
  async start() {
    this.port ??= await freeLoopbackPort();
    fs.mkdirSync(this.runtime, { recursive: true, mode: 0o700 });
    fs.chmodSync(this.runtime, 0o700);
    this.child = new Child('sim-standin', path.join(nativeBin, 'sim-standin'),
      ['--log', this.log, '--port', String(this.port), '--bind', '127.0.0.1', '--rate', String(this.rate)],
      { env: { PATH: process.env.PATH, HOME: this.root, XDG_RUNTIME_DIR: this.runtime }, cwd: this.root },
      path.join(this.root, 'sim-standin.out'));
    await waitFor(() => !this.child.running || fs.existsSync(this.controlPath), kStartTimeoutMs,
      'the simulator stand-in');
    if (!this.child.running) throw new Error(`sim-standin ended early (${this.child.exit})`);
  }

  // One command on the control channel; resolves with its answer line.
  ctl(command) {
    return new Promise((resolve, reject) => {
      const socket = net.createConnection(this.controlPath);
      let input = '';
      const timer = setTimeout(() => {
        socket.destroy();
        reject(new Error(`no answer to "${command}"`));
      }, 5000);
      socket.on('connect', () => socket.write(command + '\n'));
      socket.on('data', (chunk) => {
        input += chunk.toString('utf8');
        const newline = input.indexOf('\n');
        if (newline < 0) return;
        clearTimeout(timer);
        socket.end();
        const answer = input.slice(0, newline);
        if (answer.startsWith('ok')) resolve(answer);
        else reject(new Error(`"${command}": ${answer}`));
      });
      socket.on('error', (error) => {
        clearTimeout(timer);
        reject(error);
      });
    });
  }

  logText() {
    return readText(this.log);
  }
}

// Flight values held on the stand-in for the status page, with what the page makes of them.
export const heldValues = [
  ['ias', '251.5'], ['mach', '0.785'], ['altitude', '35000.7'], ['heading', '6.2831'],
  ['wpdistance', '1852'], ['fuel', '123.45678'], ['groundspeed', '231.5'], ['vspeed', '-0.2'],
  ['wpid', 'REMBA'],
];
export const heldRows = {
  IAS: '251 Kts',
  MACH: '0.78 M',
  ALTITUDE: '35000 Ft',
  HEADING: '359',
  'DIST TO NEXT WPT': '1 NM to REMBA',
  'TOTAL FUEL REMAINING': '123.457 LBS',
  'GROUND SPEED': '450 Kts',
  'AP FLIGHT MODE': 'DESCENDING',
};

// Whether status page rows show every held value. The values are set one by one, so a periodic
// record sent meanwhile may carry only the first few of them.
export function showsHeldValues(rows) {
  return Object.entries(heldRows).every(([label, text]) => rows[label] === text);
}

export async function holdValues(sim) {
  for (const [field, value] of heldValues) await sim.ctl(`set ${field} ${value}`);
  await sim.ctl('data');
}

// The rows of the status page's table as { label: text }.
export function statusRows(html) {
  const rows = {};
  for (const match of html.matchAll(/<tr><td style="width: 298px;">([^<]*)<\/td><td style="width: 321px;">(.*?)<\/td><\/tr>/g)) {
    rows[match[1]] = match[2];
  }
  return rows;
}

// The answer split into its head (status line and headers, as text) and body (bytes).
export function splitAnswer(answer) {
  const end = answer.indexOf('\n\n');
  if (end < 0) return { head: answer.toString('latin1'), body: Buffer.alloc(0) };
  return { head: answer.subarray(0, end).toString('latin1'), body: answer.subarray(end + 2) };
}

// The Windows program with its stand-ins, one test's worth: a scratch folder for the stand-ins'
// logs, a clean settings folder with this test's INI and SimConnect.cfg. rate: the simulator
// stand-in's; artefactPrefix: what the kept logs' names begin with, one per kind of test.
// simConnectCfg: where the SimConnect.cfg naming the stand-in goes. 'settings': the settings
// folder. 'beside': beside a copy of the exe in a folder of its own, none in the settings folder.
// 'both': the settings folder, and beside the copy one that names a port nothing serves.
// pictures: 'working': the program starts in the folder of the web pages' two pictures. 'beside':
// they are beside a copy of the exe, in the folder `programFolderName`, and it starts in an empty
// working folder, as from a shortcut.
export class WindowsSystem {
  constructor({
    name, waits4Sim = 0, rate = 1, artefactPrefix = 'windows_program', simConnectCfg = 'settings',
    pictures = 'working', programFolderName = 'program',
  }) {
    this.name = name;
    this.waits4Sim = waits4Sim;
    this.artefactPrefix = artefactPrefix;
    this.cfgPlace = simConnectCfg;
    this.pictures = pictures;
    this.programFolderName = programFolderName;
    this.root = fs.mkdtempSync(path.join(os.tmpdir(), 'tx-winprog-'));
    this.gaugeLog = path.join(this.root, 'gauge-standin.log');
    this.sim = new SimStandin(this.root, path.join(this.root, 'run'), { rate });
    this.children = [];
    // [file, label] of further logs to keep beside the artefacts.
    this.extraLogs = [];
  }

  // The log as the program wrote it: a text-mode file, so on Windows its lines end in CR LF.
  rawProgramLog() {
    return this.finalLog ?? readText(programLog);
  }

  // The log with its lines ending in LF, as on Linux.
  programLogText() {
    return this.rawProgramLog().replaceAll('\r\n', '\n');
  }

  gaugeLogText() {
    return readText(this.gaugeLog);
  }

  // Throws when a process of the test has ended that was not asked to; true otherwise.
  checkChildren() {
    for (const child of this.children) {
      if (!child.running && !child.stopping) {
        throw new Error(`${child.name} ended early (${child.exit}): ${child.stdout()}${child.stderr()}`);
      }
    }
    return true;
  }

  async waitForLog(text, timeoutMs = kStartTimeoutMs, times = 1) {
    await waitFor(() => this.checkChildren() && count(this.programLogText(), text) >= times, timeoutMs,
      `"${text.trim()}" in the program's log`);
  }

  async start() {
    killWindowsLeftovers();
    clearSettings();
    fs.mkdirSync(settingsDir, { recursive: true });
    this.port = await freeLoopbackPort();
    await this.sim.start();
    this.children.push(this.sim.child);
    fs.writeFileSync(path.join(settingsDir, 'TarvelXConnectExtended.ini'), iniText(this.port, this.waits4Sim));
    if (this.cfgPlace !== 'beside') {
      fs.writeFileSync(path.join(settingsDir, 'SimConnect.cfg'), simConnectCfg(this.sim.port));
    }
    if (this.cfgPlace !== 'settings' || this.pictures === 'beside') {
      this.programFolder = path.join(this.root, this.programFolderName);
      fs.mkdirSync(this.programFolder);
      fs.copyFileSync(programExe, path.join(this.programFolder, path.basename(programExe)));
    }
    if (this.cfgPlace !== 'settings') {
      const port = this.cfgPlace === 'beside' ? this.sim.port : await freeLoopbackPort();
      fs.writeFileSync(path.join(this.programFolder, 'SimConnect.cfg'), simConnectCfg(port));
    }
    this.workingFolder = windowsWww;
    if (this.pictures === 'beside') {
      for (const picture of pagePictures) {
        fs.copyFileSync(path.join(windowsWww, picture), path.join(this.programFolder, picture));
      }
      this.workingFolder = path.join(this.root, 'empty');
      fs.mkdirSync(this.workingFolder);
    }

    // The program opens the gauge's pipe once, as its web server starts: the gauge listens first.
    this.gauge = startWindows('gauge-standin', gaugeExe, ['--log', windowsPath(this.gaugeLog)],
      { outFile: path.join(this.root, 'gauge-standin.out') });
    this.children.push(this.gauge);
    await this.startSimWindow();
    await waitFor(() => this.checkChildren() && this.gaugeLogText().includes('GAUGE: listening on'),
      kStartTimeoutMs, 'the gauge stand-in');

    this.program = this.startProgram('program');
    this.children.push(this.program);
    await this.waitForLog('Webbrowser IP:');
    await this.waitForLog('FSX online.');
    return this;
  }

  // Starts the system; when that fails, whatever did start is stopped before the error goes on.
  static async start(options) {
    const system = new WindowsSystem(options);
    try {
      return await system.start();
    } catch (error) {
      await system.stop();
      throw error;
    }
  }

  // A copy of the Windows program, started in its working folder.
  startProgram(label) {
    const exe = this.programFolder ? path.join(this.programFolder, path.basename(programExe)) : programExe;
    return startWindows('TarvelXConnectExtended', exe, [],
      { cwd: this.workingFolder, outFile: path.join(this.root, `${label}.out`) });
  }

  // The simulator's FS98MAIN window comes (again, after closeSimWindow). Each start writes to an
  // output file of its own, so that the wait sees this start's window.
  async startSimWindow() {
    this.simWindowStarts = (this.simWindowStarts ?? 0) + 1;
    const suffix = this.simWindowStarts > 1 ? `-${this.simWindowStarts}` : '';
    this.simWindow = startWindows('simwindow-standin', simWindowExe, ['--stdin'],
      { outFile: path.join(this.root, `simwindow-standin${suffix}.out`), stdin: 'pipe' });
    this.children.push(this.simWindow);
    await waitFor(() => this.checkChildren() && this.simWindow.stdout().includes('SIMWINDOW: window up'),
      kStartTimeoutMs, 'the FS98MAIN window');
  }

  // The simulator's window goes, as when the simulator ends.
  async closeSimWindow() {
    this.simWindow.stopping = true;
    this.simWindow.process.stdin.end('quit\n');
    return this.simWindow.waitExit(kStopTimeoutMs);
  }

  // The program's own close path: taskkill without /F posts WM_CLOSE to its window.
  async closeProgram() {
    this.program.stopping = true;
    const result = runWindows('taskkill', ['/IM', path.basename(programExe)]);
    if (result.status !== 0) throw new Error(`taskkill: ${result.status} ${result.stdout} ${result.stderr}`);
    return this.program.waitExit(kStopTimeoutMs);
  }

  // Everything of this test ends; the logs go to the artefacts folder and the settings folder is
  // removed. Resolves with the processes that were still found afterwards (none expected).
  async stop() {
    // A Windows program that is still running is ended at once (Wine ends the Windows process on
    // SIGKILL); the Linux ones end cleanly on SIGTERM.
    for (const child of this.children) {
      if (child.running) await child.stop(child.windows ? 'SIGKILL' : 'SIGTERM');
    }
    killWindowsLeftovers();
    this.finalLog = readText(programLog);
    fs.mkdirSync(artefactsDir, { recursive: true });
    const files = [[programLog, 'program.log'], ...this.extraLogs];
    for (const entry of fs.readdirSync(this.root)) {
      if (/\.(out|err|log)$/.test(entry)) files.push([path.join(this.root, entry), entry]);
    }
    for (const [file, label] of files) {
      if (fs.existsSync(file)) fs.copyFileSync(file, path.join(artefactsDir, `${this.artefactPrefix}-${this.name}-${label}`));
    }
    clearSettings();
    fs.rmSync(this.root, { recursive: true, force: true });
    return windowsProcessesLeft();
  }
}
