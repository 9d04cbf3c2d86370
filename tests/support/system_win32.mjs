// The system on the Windows build, under Wine: the program with the Windows gauge stand-in (the
// server of the named pipe) and the simulator's FS98MAIN window stand-in in the same prefix, and
// the native simulator stand-in serving the protocol over TCP on 127.0.0.1. Runs in the prefix,
// home and display that scripts/windows-test.sh made; the prefix's documents folder is
// $HOME/Documents, so the settings folder is written and read there.

import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

import { Child, freeLoopbackPort, readText, SystemBase, sourceDir, waitFor } from './harness.mjs';

export const windowsBuildDir = path.resolve(process.env.TX_WINDOWS_BUILD_DIR || path.join(sourceDir, 'build-windows'));
export const windowsBin = path.join(windowsBuildDir, 'bin');
export const windowsWww = path.join(windowsBuildDir, 'www');
export const nativeBin = path.resolve(process.env.TX_NATIVE_BIN_DIR || path.join(sourceDir, 'build', 'bin'));
export const nativeWww = path.join(path.dirname(nativeBin), 'www');
export const artefactsDir = path.join(windowsBuildDir, 'artefacts');
export const programExe = path.join(windowsBin, 'TarvelXConnectExtended.exe');
export const simWindowExe = path.join(windowsBin, 'simwindow-standin.exe');
export const boxCloserExe = path.join(windowsBin, 'messagebox-closer.exe');
const gaugeExe = path.join(windowsBin, 'gauge-standin.exe');
// Every Windows program the tests start, by image name: what must be gone after each test.
const windowsImages = [programExe, gaugeExe, simWindowExe, boxCloserExe].map((exe) => path.basename(exe));
export const settingsDir = path.join(process.env.HOME || os.homedir(), 'Documents', 'Quennick', 'Tarvel');
export const programLog = path.join(settingsDir, 'TarvelXConnectExtended.log');
const wineEnv = { ...process.env, WINEDEBUG: '-all', WINEDLLOVERRIDES: 'mscoree,mshtml=' };

// What is missing to run these tests at all; an empty list when everything is there.
export function missingPrerequisites() {
  const missing = [];
  if (!process.env.WINEPREFIX) missing.push('a Wine prefix (run through scripts/windows-test.sh)');
  if (spawnSync('wine', ['--version'], { stdio: 'ignore' }).status !== 0) missing.push('wine');
  if (!process.env.DISPLAY) missing.push('a display (DISPLAY) for the Windows windows');
  // The tests clear the settings folder: only in a scratch home that the prefix's documents
  // folder points into, never in a real one.
  if (process.env.WINEPREFIX) {
    const users = path.join(process.env.WINEPREFIX, 'drive_c', 'users');
    const real = (folder) => (fs.existsSync(folder) ? fs.realpathSync(folder) : null);
    const documents = (fs.existsSync(users) ? fs.readdirSync(users) : []).map((user) => real(path.join(users, user, 'Documents')));
    const home = real(path.join(process.env.HOME || '', 'Documents'));
    if (home === null || !documents.includes(home)) missing.push(`a prefix whose documents are $HOME/Documents`);
  }
  return missing;
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

// The processes of this prefix that run one of the tests' Windows programs.
export function windowsProcessesLeft() {
  const found = [];
  for (const entry of fs.readdirSync('/proc').filter((name) => /^\d+$/.test(name))) {
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

// Ends by force whatever of the tests' Windows programs still runs in the prefix.
export function killWindowsLeftovers() {
  const left = windowsProcessesLeft().join('\n').toLowerCase();
  for (const image of windowsImages.filter((name) => left.includes(name.toLowerCase()))) {
    runWindows('taskkill', ['/F', '/IM', image]);
  }
}

// The native simulator stand-in on 127.0.0.1 and `system`'s ports, its control channel in `runtime`.
export function startNativeSim(system, runtime, args) {
  fs.mkdirSync(runtime, { recursive: true, mode: 0o700 });
  return system.track(new Child('sim-standin', path.join(nativeBin, 'sim-standin'),
    ['--log', system.simLog, '--port', String(system.simPort), '--bind', '127.0.0.1', ...args],
    { env: { PATH: process.env.PATH, HOME: system.root, XDG_RUNTIME_DIR: runtime }, cwd: system.root },
    path.join(system.root, 'sim-standin.out')));
}

// Removes the settings folder with everything in it (the program never creates it).
export function clearSettings() {
  fs.rmSync(path.dirname(settingsDir), { recursive: true, force: true });
}

// copyTo: the program runs from a copy in the folder of that name, with the pages' pictures beside
// it, started in an empty working folder as from a shortcut. cfgBeside: a SimConnect.cfg beside
// that copy names the stand-in ('only', none in the settings folder) or a port nothing serves
// ('also', with the settings folder's naming the stand-in).
export class System extends SystemBase {
  constructor({ copyTo, cfgBeside, ...options }) {
    super(options);
    killWindowsLeftovers();
    clearSettings();
    this.settings = settingsDir;
    this.programLog = programLog;
    this.iniPattern = String.raw`C:\\users\\[^\\]+\\Documents\\Quennick\\Tarvel\\TarvelXConnectExtended\.ini`;
    this.controlPath = path.join(this.root, 'run', 'sim-standin.ctl');
    this.artefactsDir = artefactsDir;
    this.exe = programExe;
    this.workingFolder = windowsWww;
    if (copyTo) {
      this.programFolder = path.join(this.root, copyTo);
      this.workingFolder = path.join(this.root, 'empty');
      fs.mkdirSync(this.programFolder);
      fs.mkdirSync(this.workingFolder);
      for (const file of [programExe, path.join(windowsWww, 'busbanner.jpg'), path.join(windowsWww, 'mcdu_bg.jpg')]) {
        fs.copyFileSync(file, path.join(this.programFolder, path.basename(file)));
      }
      this.exe = path.join(this.programFolder, path.basename(programExe));
    }
    this.cfgBeside = cfgBeside;
  }

  async writeSettings() {
    await super.writeSettings();
    if (!this.cfgBeside) return;
    const cfg = path.join(this.settings, 'SimConnect.cfg');
    if (this.cfgBeside === 'only') fs.renameSync(cfg, path.join(this.programFolder, 'SimConnect.cfg'));
    else fs.writeFileSync(path.join(this.programFolder, 'SimConnect.cfg'), readText(cfg).replace(/Port=\d+/, `Port=${await freeLoopbackPort()}`));
  }

  async startSim() {
    this.sim = startNativeSim(this, path.dirname(this.controlPath), ['--rate', String(this.rate)]);
    this.simWindow = this.track(startWindows('simwindow-standin', simWindowExe, [],
      { outFile: path.join(this.root, 'simwindow-standin.out') }));
    await waitFor(() => this.checkChildren() && fs.existsSync(this.controlPath) &&
      this.simWindow.stdout().includes('SIMWINDOW: window up'), 40000, 'the simulator stand-ins');
  }

  startGauge() {
    return startWindows('gauge-standin', gaugeExe, ['--log', 'Z:' + this.gaugeLogFile.replaceAll('/', '\\')],
      { outFile: path.join(this.root, 'gauge-standin.out') });
  }

  startProgram(label) {
    return startWindows('TarvelXConnectExtended', this.exe, [],
      { cwd: this.workingFolder, outFile: path.join(this.root, `${label}.out`) });
  }

  // One close request: taskkill without /F posts WM_CLOSE to the program's window, as the desktop's
  // close does. Resolves with taskkill's status without holding this process's event loop.
  requestClose() {
    return new Promise((resolve) => {
      const taskkill = spawn('wine', ['taskkill', '/IM', path.basename(this.exe)], { env: wineEnv, stdio: 'ignore' });
      taskkill.on('exit', resolve);
      taskkill.on('error', () => resolve(null));
    });
  }

  async closeProgram() {
    this.program.stopping = true;
    await this.requestClose();
    return this.program.waitExit(20000);
  }

  // A modal box: `child` waits in it until messagebox-closer.exe has read it and pressed OK.
  async answerBox(child, caption, text) {
    await waitFor(() => child.stderr().includes(`${caption}: ${text}`) || !child.running, 40000, `the "${caption}" box`);
    const closer = runWindows(boxCloserExe, ['--caption', caption, '--timeout-ms', '20000'], 40000);
    if (closer.status !== 0 || !closer.stdout.includes(`BOX: text ${text}`)) {
      throw new Error(`the "${caption}" box: ${closer.status} ${closer.stdout}${closer.stderr}`);
    }
    return child.stderr().replaceAll('\r\n', '\n');
  }

  cleanUp() {
    killWindowsLeftovers();
    return windowsProcessesLeft();
  }

  removeSettings() {
    clearSettings();
  }
}
