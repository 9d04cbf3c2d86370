// The program with its window on a real X server, as the window test drives it on each system:
// the Linux program on a private Xvfb, or the Windows program under Wine on the display that
// scripts/windows-test.sh made for its prefix. Either way the simulator's stand-ins come and go
// while it runs, and a browser stub (a script that writes its argument down; never a real browser)
// takes what the program opens.

import fs from 'node:fs';
import path from 'node:path';

import { Child, count, readText, SystemBase, waitFor } from '../../support/harness.mjs';
import {
  artefactsDir, clearSettings, killWindowsLeftovers, nativeBin, nativeWww, programExe, programLog, runWindows,
  settingsDir, simWindowExe, startNativeSim, startWindows, windowsBin, windowsBuildDir, windowsProcessesLeft, windowsWww,
} from '../../support/system_win32.mjs';
import { startXvfb, XDisplay } from './xdisplay.mjs';

export const kSize = 320;
const kWaitMs = 30000;
const kSanitizerOptions = Object.fromEntries(
  Object.entries(process.env).filter(([name]) => /^(A|UB|T|L)SAN_OPTIONS$/.test(name)));
const kBrowserKey = 'HKCU\\Software\\Wine\\WineBrowser';
// The server does not wait for the simulator, whose port nothing serves until simulate() starts
// the stand-in there, over IPv4 whatever the link tests use.
const kSettings = [0, false];

// Where the program puts its window on a screen whose usable area is width x height: centred, x
// brought down to a multiple of 8, every division truncating.
const placeOn = (width, height) => ({ x: Math.trunc(Math.trunc((width - kSize) / 2) / 8) * 8, y: Math.trunc((height - kSize) / 2) });

class ProgramWindow extends SystemBase {
  constructor(name) {
    super({ name });
    this.runtime = path.join(this.root, 'run');
    fs.mkdirSync(this.runtime, { mode: 0o700 });
    this.opened = path.join(this.root, 'opened-urls');
    this.stub = path.join(this.root, 'browser-stub');
    fs.writeFileSync(this.stub, `#!/bin/sh\nprintf '%s\\n' "$1" >> '${this.opened}'\n`, { mode: 0o755 });
  }

  async waitForWindow() {
    await this.waitForLog('Webbrowser IP:');
    this.place = await waitFor(() => this.checkChildren() && this.x.findWindow('TarvelX Load Manager', kSize, kSize),
      kWaitMs, 'the program\'s window');
  }

  openedUrls() { return readText(this.opened); }

  async waitForLog(text) {
    await waitFor(() => this.checkChildren() && count(this.log(), text) > 0, kWaitMs, `"${text.trim()}" in the log`);
  }

  // The simulator's protocol: the Linux stand-in on the port SimConnect.cfg names.
  async startStandin(args) {
    this.sim = startNativeSim(this, this.runtime, args);
    await waitFor(() => this.checkChildren() && fs.existsSync(path.join(this.runtime, 'sim-standin.ctl')), kWaitMs, 'the stand-in');
  }

  artefact(label) {
    fs.mkdirSync(this.artefacts, { recursive: true });
    return path.join(this.artefacts, `window-${this.system}-${this.name}-${label}`);
  }

  // Everything of the test ends; its logs go to the artefacts.
  async stopAll() {
    for (const child of this.children) await child.stop(child.windows ? 'SIGKILL' : 'SIGTERM');
    if (fs.existsSync(this.programLog)) fs.copyFileSync(this.programLog, this.artefact('program.log'));
    for (const entry of fs.readdirSync(this.root).filter((name) => /\.(out|err|log)$|^opened-urls$/.test(name))) {
      fs.copyFileSync(path.join(this.root, entry), this.artefact(entry));
    }
    fs.rmSync(this.root, { recursive: true, force: true });
  }
}

class LinuxWindow extends ProgramWindow {
  async start() {
    [this.system, this.artefacts] = ['linux', path.join(nativeBin, '..', 'artefacts')];
    ({ server: this.xvfb, x: this.x } = await startXvfb());
    this.expectedPlace = placeOn(1280, 1024);  // the whole screen: no window manager takes a part
    const home = path.join(this.root, 'home');
    this.settings = path.join(home, 'Documents', 'Quennick', 'Tarvel');
    this.programLog = path.join(this.settings, 'TarvelXConnectExtended.log');
    await this.writeSettings(...kSettings);
    this.program = this.track(new Child('program', path.join(nativeBin, 'TarvelXConnectExtended'), [], {
      cwd: nativeWww,
      // A clean environment, but for the sanitizers' settings (suppressions, exit codes).
      env: { ...kSanitizerOptions, PATH: process.env.PATH, HOME: home, XDG_CONFIG_HOME: path.join(this.root, 'config'),
        XDG_RUNTIME_DIR: this.runtime, DISPLAY: this.x.display, SDL_VIDEODRIVER: 'x11', BROWSER: this.stub },
    }, path.join(this.root, 'program.out')));
    await this.waitForWindow();
  }

  // The stand-in's presence lock in the program's runtime folder stands for the simulator's window.
  simulate() { return this.startStandin(['--autostart']); }

  endSimulator() { return this.sim.stop(); }

  async stop() {
    await this.stopAll();
    this.xvfb?.kill();
    return [];
  }
}

class WineWindow extends ProgramWindow {
  async start() {
    [this.system, this.artefacts, this.programLog] = ['windows', artefactsDir, programLog];
    this.x = new XDisplay(process.env.DISPLAY);
    killWindowsLeftovers();
    clearSettings();
    this.settings = settingsDir;
    await this.writeSettings(...kSettings);
    // A shell "open" of a URL goes to winebrowser, which starts the first program this names. The
    // prefix is the test run's own: the value goes again at the end.
    runWindows('reg', ['add', kBrowserKey, '/v', 'Browsers', '/t', 'REG_SZ', '/d', this.stub, '/f']);
    // The usable area as the program asks for it; under Wine on Xvfb's 1280 x 1024 it is 1280 x 1035.
    const probe = runWindows(path.join(windowsBin, 'window-probe.exe'), []);
    this.expectedPlace = placeOn(...probe.stdout.trim().split(' ').map(Number));
    this.program = this.track(startWindows('program', programExe, [], { cwd: windowsWww, outFile: path.join(this.root, 'program.out') }));
    await this.waitForWindow();
  }

  // The simulator's protocol from the Linux stand-in, its main window (FS98MAIN) from a Windows one.
  async simulate() {
    await this.startStandin([]);
    this.simWindow = this.track(startWindows('simwindow-standin', simWindowExe, ['--stdin'],
      { outFile: path.join(this.root, 'simwindow-standin.out'), stdin: 'pipe' }));
    await waitFor(() => this.checkChildren() && this.simWindow.stdout().includes('SIMWINDOW: window up'), kWaitMs, 'FS98MAIN');
  }

  async endSimulator() {
    await this.sim.stop();
    this.simWindow.stopping = true;
    this.simWindow.process.stdin.end('quit\n');
    await this.simWindow.waitExit(kWaitMs);
  }

  async stop() {
    await this.stopAll();
    killWindowsLeftovers();
    runWindows('reg', ['delete', kBrowserKey, '/v', 'Browsers', '/f']);
    clearSettings();
    return windowsProcessesLeft();
  }
}

export const isWindows = process.env.TX_WINDOW_SYSTEM === 'windows';
export const resDir = path.join(isWindows ? windowsBuildDir : path.join(nativeBin, '..'), 'res');

// The program started with its window up; on failure everything it started is stopped again.
export async function startProgram(name) {
  const run = isWindows ? new WineWindow(name) : new LinuxWindow(name);
  try {
    await run.start();
    return run;
  } catch (error) {
    await run.stop().catch(() => {});
    throw error;
  }
}
