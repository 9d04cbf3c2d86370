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
  const { WINEPREFIX, HOME = '', DISPLAY } = process.env;
  if (!WINEPREFIX) return ['a Wine prefix (run through scripts/windows-test.sh)'];
  // The tests clear the settings folder: only in a scratch home that the prefix's documents
  // folder points into, never in a real one.
  const real = (folder) => fs.existsSync(folder) && fs.realpathSync(folder);
  const [users, documents] = [path.join(WINEPREFIX, 'drive_c', 'users'), real(path.join(HOME, 'Documents'))];
  const scratch = documents && fs.readdirSync(users).some((user) => real(path.join(users, user, 'Documents')) === documents);
  return [[spawnSync('wine', ['--version'], { stdio: 'ignore' }).status === 0, 'wine'],
    [DISPLAY, 'a display (DISPLAY) for the Windows windows'], [scratch, 'a prefix whose documents are $HOME/Documents']]
    .filter(([there]) => !there).map(([, what]) => what);
}

// Runs a Windows program to its end (taskkill and the like); { status, stdout, stderr }.
export function runWindows(program, args, timeoutMs = 30000) {
  const result = spawnSync('wine', [program, ...args], { env: wineEnv, encoding: 'latin1', timeout: timeoutMs });
  return { status: result.status, stdout: result.stdout ?? '', stderr: result.stderr ?? '' };
}

// The processes of this prefix that run one of the tests' Windows programs.
function processesLeft() {
  return fs.readdirSync('/proc').filter((name) => /^\d+$/.test(name)).flatMap((entry) => {
    try {
      if (!fs.readFileSync(`/proc/${entry}/environ`, 'latin1').split('\0').includes(`WINEPREFIX=${process.env.WINEPREFIX}`)) return [];
      const commandLine = fs.readFileSync(`/proc/${entry}/cmdline`, 'latin1').replaceAll('\0', ' ').trim();
      return images.some((image) => commandLine.toLowerCase().includes(image.toLowerCase())) ? [`${entry}: ${commandLine}`] : [];
    } catch {
      return [];  // gone meanwhile, or not ours to read
    }
  });
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
    this.iniPattern = String.raw`C:\\users\\[^\\]+\\Documents\\Quennick\\Tarvel\\TarvelXConnectExtended\.ini`;
    this.controlPath = path.join(this.root, 'run', 'sim-standin.ctl');
    this.artefactsDir = path.join(buildDir, 'artefacts');
    [this.exe, this.workingFolder, this.cfgBeside] = [programExe, www, cfgBeside];
    if (copyTo) {
      [this.programFolder, this.workingFolder] = [path.join(this.root, copyTo), path.join(this.root, 'empty')];
      fs.mkdirSync(this.workingFolder);
      const files = [programExe, ...['busbanner.jpg', 'mcdu_bg.jpg'].map((name) => path.join(www, name))];
      files.forEach((file) => fs.cpSync(file, path.join(this.programFolder, path.basename(file))));
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
    return new Child(name, 'wine', [name.endsWith('.exe') ? name : exe(name), ...args], { env: wineEnv, cwd }, path.join(this.root, `${label}.out`));
  }

  // The simulator's protocol from the native stand-in, its main window (FS98MAIN) from a Windows one.
  async startSim() {
    const runtime = path.dirname(this.controlPath);
    fs.mkdirSync(runtime, { recursive: true, mode: 0o700 });
    this.sim = this.track(new Child('sim-standin', path.join(nativeBin, 'sim-standin'),
      ['--log', this.simLog, '--port', String(this.simPort), '--bind', '127.0.0.1'],
      { env: { PATH: process.env.PATH, HOME: this.root, XDG_RUNTIME_DIR: runtime }, cwd: this.root },
      path.join(this.root, 'sim-standin.out')));
    this.simWindow = this.track(this.startWindows('simwindow-standin'));
    await waitFor(() => this.checkChildren() && fs.existsSync(this.controlPath) &&
      this.simWindow.stdout().includes('SIMWINDOW: window up'), 40000, 'the simulator stand-ins');
  }

  stopSim() { return Promise.all([this.sim.stop(), this.simWindow.stop()]); }

  startGauge() {
    return this.startWindows('gauge-standin', ['--log', 'Z:' + this.gaugeLogFile.replaceAll('/', '\\')]);
  }

  startProgram(label) {
    return this.startWindows(this.exe, [], this.workingFolder, label);
  }

  // One close request: taskkill without /F posts WM_CLOSE to the program's window, as the desktop's
  // close does. Resolves with taskkill's status without holding this process's event loop.
  requestClose() {
    return new Promise((resolve) => spawn('wine', ['taskkill', '/IM', path.basename(this.exe)], { env: wineEnv, stdio: 'ignore' })
      .on('exit', resolve).on('error', () => resolve(null)));
  }

  async closeProgram() {
    await this.requestClose();
    return this.program.waitExit(20000);
  }

  // The box titled `caption` says `texts` in that order (of the last, its start will do);
  // messagebox-closer.exe reads them and presses OK.
  answerInBox(caption, ...texts) {
    const closer = runWindows(exe('messagebox-closer'), [caption], 40000);
    const said = texts.map((text) => `BOX: text ${text}`).join('\n');
    assert.ok(closer.status === 0 && closer.stdout.replaceAll('\r\n', '\n').includes(said), `"${caption}": ${closer.status} ${closer.stdout}`);
  }

  cleanUp() {
    killLeftovers();
    if (this.display) runWindows('reg', ['delete', ...kBrowserKey, '/f']);
    return processesLeft();
  }

  removeSettings() { clearSettings(); }
}
