// The Windows program's window under Wine, for the window tests: the program started alone (the
// simulator's stand-ins come and go while it runs), the browser stub registered in the prefix,
// and window-probe.exe for what only Windows can tell (its screen metrics, a window's rectangle).

import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

import {
  artefactsDir, Child, clearSettings, count, freeLoopbackPort, iniText, killWindowsLeftovers,
  nativeBin, programLog, readText, runWindows, settingsDir, simConnectCfg, simWindowExe,
  startWindows, waitFor, windowsBin, windowsProcessesLeft, windowsWww, programExe,
} from '../program/winsystem.mjs';

export const probeExe = path.join(windowsBin, 'window-probe.exe');
export const kTitle = 'TarvelX Load Manager';
export const kSize = 320;
// The fixed places on the window's face, in client pixels (right and bottom outside).
export const kExitButton = { left: 240, top: 243, right: 320, bottom: 268 };
export const kOnlinePicture = { left: 87, top: 87, right: 231, bottom: 231 };
export const kAddressLink = { left: 166, top: 284, right: 318, bottom: 295 };
// Where the label's letters may reach: centred on one line without clipping, they may stand a
// few pixels above and below the strip, inside the dark band.
export const kLabelArea = { left: 160, top: 279, right: 320, bottom: 300 };

const kWaitMs = 30000;
const kBrowserKey = 'HKCU\\Software\\Wine\\WineBrowser';

// window-probe.exe's answer as { NAME: [numbers...] }; null when it found no window.
export function probe(...args) {
  const result = runWindows(probeExe, args);
  if (result.status === 1) return null;
  if (result.status !== 0) throw new Error(`window-probe ${args.join(' ')}: ${result.status} ${result.stderr}`);
  const values = {};
  for (const line of result.stdout.split(/\r?\n/).filter(Boolean)) {
    const [name, ...numbers] = line.trim().split(' ');
    values[name] = numbers.map(Number);
  }
  return values;
}

// Where the program puts its window: the full-screen client area's size from the system, centred,
// x brought down to a multiple of 8 (every division truncating).
export function expectedPlace(metrics) {
  const [width, height] = metrics.FULLSCREEN;
  return { x: Math.trunc(Math.trunc((width - kSize) / 2) / 8) * 8, y: Math.trunc((height - kSize) / 2) };
}

// The window's rectangle on the screen from the system, or null when there is no window.
export function windowRect() {
  const found = probe('window', kTitle);
  if (!found) return null;
  const [left, top, right, bottom] = found.RECT;
  return { left, top, right, bottom, iconic: found.ICONIC[0] === 1, enabled: found.ENABLED[0] === 1 };
}

// The program alone under Wine with a clean settings folder, a log, the server serving at once
// and a SimConnect.cfg that names a port nothing serves until simulate() starts the stand-in.
export class ProgramWindow {
  constructor(name) {
    this.name = name;
    this.root = fs.mkdtempSync(path.join(os.tmpdir(), 'tx-winwindow-'));
    this.opened = path.join(this.root, 'opened-urls');
    this.children = [];
  }

  async start() {
    killWindowsLeftovers();
    clearSettings();
    fs.mkdirSync(settingsDir, { recursive: true });
    this.port = await freeLoopbackPort();
    this.simPort = await freeLoopbackPort();
    fs.writeFileSync(path.join(settingsDir, 'TarvelXConnectExtended.ini'), iniText(this.port, 0));
    fs.writeFileSync(path.join(settingsDir, 'SimConnect.cfg'), simConnectCfg(this.simPort));
    this.registerBrowserStub();
    this.program = startWindows('TarvelXConnectExtended', programExe, [],
      { cwd: windowsWww, outFile: path.join(this.root, 'program.out') });
    this.children.push(this.program);
    await this.waitForLog('Webbrowser IP:');
    await waitFor(() => this.checkRunning() && windowRect(), kWaitMs, 'the program\'s window');
    return this;
  }

  // A shell "open" of a URL goes to winebrowser, which starts the first program this value names:
  // here a script that writes its argument down, never a real browser.
  registerBrowserStub() {
    const stub = path.join(this.root, 'browser-stub');
    fs.writeFileSync(stub, `#!/bin/sh\nprintf '%s\\n' "$1" >> '${this.opened}'\n`, { mode: 0o755 });
    const query = runWindows('reg', ['query', kBrowserKey, '/v', 'Browsers']);
    this.previousBrowsers = query.status === 0 ? /REG_SZ\s+(.*)$/m.exec(query.stdout)?.[1]?.trim() : undefined;
    const added = runWindows('reg', ['add', kBrowserKey, '/v', 'Browsers', '/t', 'REG_SZ', '/d', stub, '/f']);
    if (added.status !== 0) throw new Error(`reg add: ${added.stdout} ${added.stderr}`);
  }

  restoreBrowsers() {
    if (this.previousBrowsers !== undefined) {
      runWindows('reg', ['add', kBrowserKey, '/v', 'Browsers', '/t', 'REG_SZ', '/d', this.previousBrowsers, '/f']);
    } else {
      runWindows('reg', ['delete', kBrowserKey, '/v', 'Browsers', '/f']);
    }
  }

  openedUrls() {
    return readText(this.opened);
  }

  log() {
    return (this.finalLog ?? readText(programLog)).replaceAll('\r\n', '\n');
  }

  checkRunning() {
    for (const child of this.children) {
      if (!child.running && !child.stopping) {
        throw new Error(`${child.name} ended early (${child.exit}): ${child.stdout()}${child.stderr()}`);
      }
    }
    return true;
  }

  async waitForLog(text, times = 1) {
    await waitFor(() => this.checkRunning() && count(this.log(), text) >= times, kWaitMs,
      `"${text.trim()}" in the program's log`);
  }

  // The simulator comes: the Linux stand-in on the port SimConnect.cfg names, and its main window
  // (FS98MAIN) as a Windows program.
  async simulate() {
    const runtime = path.join(this.root, 'run');
    fs.mkdirSync(runtime, { recursive: true, mode: 0o700 });
    const control = path.join(runtime, 'sim-standin.ctl');
    this.sim = new Child('sim-standin', path.join(nativeBin, 'sim-standin'),
      ['--log', path.join(this.root, 'sim-standin.log'), '--port', String(this.simPort), '--bind', '127.0.0.1'],
      { env: { PATH: process.env.PATH, HOME: this.root, XDG_RUNTIME_DIR: runtime }, cwd: this.root },
      path.join(this.root, 'sim-standin.out'));
    this.simWindow = startWindows('simwindow-standin', simWindowExe, ['--stdin'],
      { outFile: path.join(this.root, 'simwindow-standin.out'), stdin: 'pipe' });
    this.children.push(this.sim, this.simWindow);
    await waitFor(() => this.checkRunning() && fs.existsSync(control), kWaitMs, 'the simulator stand-in');
    await waitFor(() => this.checkRunning() && this.simWindow.stdout().includes('SIMWINDOW: window up'),
      kWaitMs, 'the FS98MAIN window');
  }

  // The simulator ends: it takes no new connections (else the next presence check would connect
  // again), and its window goes.
  async endSimulator() {
    await this.sim.stop();
    this.simWindow.stopping = true;
    this.simWindow.process.stdin.end('quit\n');
    await this.simWindow.waitExit(kWaitMs);
  }

  // Everything of the test ends; the logs go to the artefacts. Resolves with the Windows programs
  // still found afterwards (none expected).
  async stop() {
    for (const child of this.children) {
      if (child.running) await child.stop(child.windows ? 'SIGKILL' : 'SIGTERM');
    }
    killWindowsLeftovers();
    this.restoreBrowsers();
    this.finalLog = readText(programLog);
    fs.mkdirSync(artefactsDir, { recursive: true });
    fs.writeFileSync(path.join(artefactsDir, `windows_window-${this.name}-program.log`), this.finalLog, 'latin1');
    for (const entry of fs.readdirSync(this.root)) {
      if (/\.(out|err|log)$|^opened-urls$/.test(entry)) {
        fs.copyFileSync(path.join(this.root, entry), path.join(artefactsDir, `windows_window-${this.name}-${entry}`));
      }
    }
    clearSettings();
    fs.rmSync(this.root, { recursive: true, force: true });
    return windowsProcessesLeft();
  }

  static async start(name) {
    const run = new ProgramWindow(name);
    try {
      return await run.start();
    } catch (error) {
      await run.stop();
      throw error;
    }
  }
}
