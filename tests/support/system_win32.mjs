// The system on the Windows build, under Wine: the program with the Windows gauge stand-in (the
// server of the named pipe) and the simulator's FS98MAIN window stand-in in the same prefix, and
// the native simulator stand-in serving the protocol over TCP on 127.0.0.1. Runs in the prefix,
// home and display that scripts/windows-test.sh made; the prefix's documents folder is
// $HOME/Documents, so the settings folder is written and read there.

import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

import { Child, freeLoopbackPort, readText, SystemBase, sourceDir, waitFor } from './harness.mjs';

const buildDir = path.resolve(process.env.TX_WINDOWS_BUILD_DIR || path.join(sourceDir, 'build-windows'));
export const binDir = path.join(buildDir, 'bin');
const www = path.join(buildDir, 'www');
const nativeBin = path.resolve(process.env.TX_NATIVE_BIN_DIR || path.join(sourceDir, 'build', 'bin'));
const exe = (name) => path.join(binDir, `${name}.exe`);
const programExe = exe('TarvelXConnectExtended');
// Every Windows program the tests start, by image name: what must be gone after each test.
const images = ['TarvelXConnectExtended', 'gauge-standin', 'simwindow-standin', 'messagebox-closer'].map((name) => `${name}.exe`);
const settingsDir = path.join(process.env.HOME || os.homedir(), 'Documents', 'Quennick', 'Tarvel');
const wineEnv = { ...process.env, WINEDEBUG: '-all', WINEDLLOVERRIDES: 'mscoree,mshtml=' };
const kBrowserKey = ['HKCU\\Software\\Wine\\WineBrowser', '/v', 'Browsers'];

// What is missing to run these tests at all; an empty list when everything is there.
export function missingPrerequisites() {
  const missing = [];
  if (!process.env.WINEPREFIX) return ['a Wine prefix (run through scripts/windows-test.sh)'];
  if (spawnSync('wine', ['--version'], { stdio: 'ignore' }).status !== 0) missing.push('wine');
  if (!process.env.DISPLAY) missing.push('a display (DISPLAY) for the Windows windows');
  // The tests clear the settings folder: only in a scratch home that the prefix's documents
  // folder points into, never in a real one.
  const users = path.join(process.env.WINEPREFIX, 'drive_c', 'users');
  const real = (folder) => (fs.existsSync(folder) ? fs.realpathSync(folder) : null);
  const documents = (fs.existsSync(users) ? fs.readdirSync(users) : []).map((user) => real(path.join(users, user, 'Documents')));
  const home = real(path.join(process.env.HOME || '', 'Documents'));
  if (home === null || !documents.includes(home)) missing.push('a prefix whose documents are $HOME/Documents');
  return missing;
}

// Runs a Windows program to its end (taskkill and the like); { status, stdout, stderr }.
export function runWindows(program, args, timeoutMs = 30000) {
  const result = spawnSync('wine', [program, ...args], { env: wineEnv, encoding: 'latin1', timeout: timeoutMs });
  return { status: result.status, stdout: result.stdout ?? '', stderr: result.stderr ?? '' };
}

// The processes of this prefix that run one of the tests' Windows programs.
function processesLeft() {
  const found = [];
  for (const entry of fs.readdirSync('/proc').filter((name) => /^\d+$/.test(name))) {
    try {
      if (!fs.readFileSync(`/proc/${entry}/environ`, 'latin1').split('\0').includes(`WINEPREFIX=${process.env.WINEPREFIX}`)) continue;
      const commandLine = fs.readFileSync(`/proc/${entry}/cmdline`, 'latin1').replaceAll('\0', ' ');
      if (images.some((image) => commandLine.toLowerCase().includes(image.toLowerCase()))) found.push(`${entry}: ${commandLine.trim()}`);
    } catch {
      // Gone meanwhile, or not ours to read.
    }
  }
  return found;
}

// Ends by force whatever of the tests' Windows programs still runs in the prefix.
function killLeftovers() {
  const left = processesLeft().join('\n').toLowerCase();
  images.filter((image) => left.includes(image.toLowerCase())).forEach((image) => runWindows('taskkill', ['/F', '/IM', image]));
}

// The settings folder goes with everything in it (the program never creates it).
const clearSettings = () => fs.rmSync(path.dirname(settingsDir), { recursive: true, force: true });

// copyTo: the program runs from a copy in the folder of that name, with the pages' pictures beside
// it, started in an empty working folder as from a shortcut. cfgBeside: a SimConnect.cfg beside
// that copy names the stand-in ('only', none in the settings folder) or a port nothing serves
// ('also', with the settings folder's naming the stand-in).
export class System extends SystemBase {
  constructor({ copyTo, cfgBeside, ...options }) {
    super(options);
    killLeftovers();
    clearSettings();
    this.settings = settingsDir;
    this.programLog = path.join(settingsDir, 'TarvelXConnectExtended.log');
    this.iniPattern = String.raw`C:\\users\\[^\\]+\\Documents\\Quennick\\Tarvel\\TarvelXConnectExtended\.ini`;
    this.controlPath = path.join(this.root, 'run', 'sim-standin.ctl');
    this.artefactsDir = path.join(buildDir, 'artefacts');
    [this.exe, this.workingFolder, this.cfgBeside] = [programExe, www, cfgBeside];
    if (copyTo) {
      this.programFolder = path.join(this.root, copyTo);
      this.workingFolder = path.join(this.root, 'empty');
      fs.mkdirSync(this.programFolder);
      fs.mkdirSync(this.workingFolder);
      for (const file of [programExe, path.join(www, 'busbanner.jpg'), path.join(www, 'mcdu_bg.jpg')]) {
        fs.copyFileSync(file, path.join(this.programFolder, path.basename(file)));
      }
      this.exe = path.join(this.programFolder, path.basename(programExe));
    }
    // A shell "open" of a URL goes to winebrowser, which starts the first program this names. The
    // prefix is the test run's own: the value goes again at the end.
    if (this.display) runWindows('reg', ['add', ...kBrowserKey, '/t', 'REG_SZ', '/d', this.stub, '/f']);
  }

  async writeSettings(...args) {
    await super.writeSettings(...args);
    if (!this.cfgBeside) return;
    const cfg = path.join(this.settings, 'SimConnect.cfg');
    if (this.cfgBeside === 'only') fs.renameSync(cfg, path.join(this.programFolder, 'SimConnect.cfg'));
    else fs.writeFileSync(path.join(this.programFolder, 'SimConnect.cfg'), readText(cfg).replace(/Port=\d+/, `Port=${await freeLoopbackPort()}`));
  }

  // A Windows program run under Wine as `wine <exe> <args>`, started in `cwd`.
  startWindows(name, args = [], cwd = os.tmpdir(), label = name) {
    const child = new Child(name, 'wine', [name.endsWith('.exe') ? name : exe(name), ...args], { env: wineEnv, cwd },
      path.join(this.root, `${label}.out`));
    child.windows = true;
    return child;
  }

  // The simulator's protocol from the native stand-in, its main window (FS98MAIN) from a Windows one.
  async startSim() {
    const runtime = path.dirname(this.controlPath);
    fs.mkdirSync(runtime, { recursive: true, mode: 0o700 });
    this.sim = this.track(new Child('sim-standin', path.join(nativeBin, 'sim-standin'),
      ['--log', this.simLog, '--port', String(this.simPort), '--bind', '127.0.0.1', '--rate', String(this.rate)],
      { env: { PATH: process.env.PATH, HOME: this.root, XDG_RUNTIME_DIR: runtime }, cwd: this.root },
      path.join(this.root, 'sim-standin.out')));
    this.simWindow = this.track(this.startWindows('simwindow-standin'));
    await waitFor(() => this.checkChildren() && fs.existsSync(this.controlPath) &&
      this.simWindow.stdout().includes('SIMWINDOW: window up'), 40000, 'the simulator stand-ins');
  }

  async stopSim() {
    await this.sim.stop();
    await this.simWindow.stop();
  }

  startGauge() {
    return this.startWindows('gauge-standin', ['--log', 'Z:' + this.gaugeLogFile.replaceAll('/', '\\')]);
  }

  startProgram(label) {
    return this.startWindows(this.exe, [], this.workingFolder, label);
  }

  // One close request: taskkill without /F posts WM_CLOSE to the program's window, as the desktop's
  // close does. Resolves with taskkill's status without holding this process's event loop.
  requestClose() {
    return new Promise((resolve) => {
      const taskkill = spawn('wine', ['taskkill', '/IM', path.basename(this.exe)], { env: wineEnv, stdio: 'ignore' });
      taskkill.on('exit', resolve).on('error', () => resolve(null));
    });
  }

  async closeProgram() {
    this.program.stopping = true;
    await this.requestClose();
    return this.program.waitExit(20000);
  }

  // The texts of the box titled `caption`, read by messagebox-closer.exe before it presses OK.
  closeBox(caption) {
    const closer = runWindows(exe('messagebox-closer'), [caption], 40000);
    if (closer.status !== 0) throw new Error(`the "${caption}" box: ${closer.status} ${closer.stdout}${closer.stderr}`);
    return closer.stdout;
  }

  // A modal box: `child` waits in it until messagebox-closer.exe has read it and pressed OK.
  async answerBox(child, caption, text) {
    await waitFor(() => child.stderr().includes(`${caption}: ${text}`) || !child.running, 40000, `the "${caption}" box`);
    assert.ok(this.closeBox(caption).includes(`BOX: text ${text}`), `the "${caption}" box says "${text}"`);
    return child.stderr().replaceAll('\r\n', '\n');
  }

  cleanUp() {
    killLeftovers();
    if (this.display) runWindows('reg', ['delete', ...kBrowserKey, '/f']);
    return processesLeft();
  }

  removeSettings() { clearSettings(); }
}
