// The whole system on the Windows build, for the same browser tests: the Windows program under
// Wine with the Windows gauge stand-in (the named pipe) and the simulator's window stand-in, and
// the native simulator stand-in over TCP (tests/windows/program/winsystem.mjs). It offers what the
// tests use of the Linux system in system.mjs. Runs in the Wine prefix, home and display that
// scripts/windows-test.sh made.

import fs from 'node:fs';
import path from 'node:path';

import {
  artefactsDir as windowsArtefactsDir, Child, missingPrerequisites, nativeBin, rawGet, readText, settingsDir,
  waitFor, WindowsSystem,
} from '../windows/program/winsystem.mjs';

export const artefactsDir = windowsArtefactsDir;
export { missingPrerequisites };

const kStartTimeoutMs = 40000;

export class BrowserWindowsSystem {
  // waits4Sim: the INI's WebserverWaits4Sim. rate: simulated seconds per real second.
  constructor({ name, waits4Sim = 1, rate = 1 }) {
    this.system = new WindowsSystem({ name, waits4Sim, rate, artefactPrefix: 'browser' });
    // How the tests ask the program to end: taskkill's WM_CLOSE, the desktop's close.
    this.endRequest = 'WM_CLOSE';
  }

  get port() {
    return this.system.port;
  }

  get baseUrl() {
    return `http://127.0.0.1:${this.port}`;
  }

  async start() {
    await this.system.start();
    await this.writeDisplayPicture();
    await waitFor(async () => {
      this.system.checkChildren();
      const answer = await rawGet(this.port, '/');
      return answer && answer.toString('latin1').includes('Tarvel X Connect Extended');
    }, kStartTimeoutMs, 'the status page');
    return this;
  }

  // Starts the system; when that fails, whatever did start is stopped before the error goes on.
  static async start(options) {
    const system = new BrowserWindowsSystem(options);
    try {
      return await system.start();
    } catch (error) {
      await system.stop().catch(() => {});
      throw error;
    }
  }

  // The Windows gauge stand-in keeps no display and draws no picture. So that the MCDU page has a
  // display to paint, the Linux stand-in draws its first one into the settings folder and ends;
  // that picture stays as it is whatever keys come.
  async writeDisplayPicture() {
    const runtime = path.join(this.system.root, 'display-run');
    fs.mkdirSync(runtime, { mode: 0o700 });
    const log = path.join(this.system.root, 'display-gauge.log');
    const gauge = new Child('display gauge-standin', path.join(nativeBin, 'gauge-standin'),
      ['--settings', settingsDir, '--log', log],
      { env: { PATH: process.env.PATH, HOME: this.system.root, XDG_RUNTIME_DIR: runtime }, cwd: this.system.root },
      path.join(this.system.root, 'display-gauge.out'));
    try {
      await waitFor(() => {
        if (!gauge.running) throw new Error(`the display's gauge-standin ended early (${gauge.exit})`);
        return readText(log).includes('GAUGE: display written');
      }, kStartTimeoutMs, 'the display picture');
    } finally {
      await gauge.stop();
    }
    if (!fs.existsSync(path.join(settingsDir, 'MCDU_Dspl.png'))) throw new Error('no display picture written');
  }

  log() {
    return this.system.programLogText();
  }

  gaugeLogText() {
    return this.finalGaugeLog ?? this.system.gaugeLogText();
  }

  async waitForLog(text, timeoutMs = 10000, count = 1) {
    await this.system.waitForLog(text, timeoutMs, count);
  }

  ctl(command) {
    return this.system.sim.ctl(command);
  }

  async simStatus() {
    const answer = await this.ctl('status');
    return Object.fromEntries(answer.split(' ').slice(1).map((word) => word.split('=')));
  }

  // The simulator ends: the stand-in of its protocol, and its main window with it. 0 when both
  // ended cleanly.
  async stopSim() {
    const standin = await this.system.sim.child.stop();
    const window = await this.system.closeSimWindow();
    return standin === 0 && window === 0 ? 0 : `sim-standin ${standin}, simwindow-standin ${window}`;
  }

  // The simulator comes back: its protocol on the same port, and its window.
  async startSim() {
    await this.system.sim.start();
    this.system.children.push(this.system.sim.child);
    await this.system.startSimWindow();
  }

  // The program first, through its own close path, so that it says goodbye to the gauge while the
  // simulator is still up. Throws when a Windows program of the test is still found afterwards.
  async stop() {
    const exits = {};
    const { program } = this.system;
    let left;
    try {
      if (program) exits.TarvelXConnectExtended = program.running ? await this.system.closeProgram() : program.exit;
    } finally {
      this.finalGaugeLog = this.system.gaugeLogText();
      left = await this.system.stop();
    }
    if (left.length > 0) throw new Error(`Windows programs left running: ${left.join('; ')}`);
    return exits;
  }
}
