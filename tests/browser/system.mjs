// The whole system for one test file: the simulator stand-in, the gauge stand-in and the program,
// each run with a private HOME and XDG_RUNTIME_DIR, plus Debian's chromium driven by playwright.
// With TX_BROWSER_SYSTEM=windows the same tests drive the Windows build instead (windows.mjs).

import { spawn } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

import { chromium } from 'playwright-core';

const here = path.dirname(fileURLToPath(import.meta.url));

const systemKind = process.env.TX_BROWSER_SYSTEM || 'linux';
if (!['linux', 'windows'].includes(systemKind)) throw new Error(`TX_BROWSER_SYSTEM=${systemKind}: linux or windows`);
export const onWindows = systemKind === 'windows';
const windows = onWindows ? await import('./windows.mjs') : null;

// The Windows gauge stand-in draws no display: its MCDU page paints one fixed picture, so the
// checks that the display follows the keys are the Linux system's only.
export const displayFollowsKeys = !onWindows;
export const kFixedDisplayReason = 'the Windows gauge stand-in draws no display; the page shows a fixed picture';

export const buildDir = path.resolve(process.env.TX_BUILD_DIR || path.join(here, '..', '..', 'build'));
export const binDir = path.join(buildDir, 'bin');
export const wwwDir = path.join(buildDir, 'www');
// A Windows run keeps its screenshots beside the Windows build's other artefacts.
export const artefactsDir = onWindows ? windows.artefactsDir : path.join(buildDir, 'artefacts');
export const chromiumPath = '/usr/bin/chromium';

const kStartTimeoutMs = 20000;
const kStopTimeoutMs = 10000;

export function sleep(ms) {
  return new Promise((resolve) => setTimeout(resolve, ms));
}

function readText(file) {
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

async function freeLoopbackPort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.once('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

// One raw HTTP exchange, so that readiness does not depend on how lenient a client library is
// about the server's bare line feeds. Resolves with the whole answer, or null when refused.
export function rawGet(port, target, timeoutMs = 5000) {
  return new Promise((resolve) => {
    const socket = net.createConnection({ host: '127.0.0.1', port });
    const chunks = [];
    const timer = setTimeout(() => socket.destroy(), timeoutMs);
    socket.on('connect', () => socket.write(`GET ${target} HTTP/1.1\r\nHost: 127.0.0.1:${port}\r\n\r\n`));
    socket.on('data', (chunk) => chunks.push(chunk));
    socket.on('error', () => {});
    socket.on('close', () => {
      clearTimeout(timer);
      resolve(chunks.length ? Buffer.concat(chunks).toString('latin1') : null);
    });
  });
}

// Whatever still runs when this process ends (a test that threw before its clean-up) goes with it.
const liveChildren = new Set();
process.on('exit', () => {
  for (const child of liveChildren) child.process.kill('SIGKILL');
});

class Child {
  constructor(name, program, args, options, logFile) {
    this.name = name;
    this.exit = null;
    const out = fs.openSync(logFile, 'a');
    this.process = spawn(program, args, { ...options, stdio: ['ignore', out, out] });
    fs.closeSync(out);
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

  // SIGTERM, then SIGKILL when it has not ended in time. Resolves with the exit code (or signal).
  async stop() {
    this.stopping = true;
    if (!this.running) return this.exit;
    this.process.kill('SIGTERM');
    const timer = setTimeout(() => {
      if (this.running) this.process.kill('SIGKILL');
    }, kStopTimeoutMs);
    const exit = await this.exited;
    clearTimeout(timer);
    return exit;
  }
}

export class System {
  // waits4Sim: the INI's WebserverWaits4Sim. rate: simulated seconds per real second.
  constructor({ name, waits4Sim = 1, rate = 1 }) {
    this.name = name;
    this.waits4Sim = waits4Sim;
    this.rate = rate;
    this.root = fs.mkdtempSync(path.join(os.tmpdir(), 'tx-browser-'));
    this.home = path.join(this.root, 'home');
    this.runtime = path.join(this.root, 'run');
    this.settings = path.join(this.home, 'Documents', 'Quennick', 'Tarvel');
    this.programLog = path.join(this.settings, 'TarvelXConnectExtended.log');
    this.programOutput = path.join(this.root, 'program.out');
    this.simLog = path.join(this.root, 'sim-standin.log');
    this.gaugeLog = path.join(this.root, 'gauge-standin.log');
    this.controlPath = path.join(this.runtime, 'sim-standin.ctl');
    this.sim = null;
    this.gauge = null;
    this.program = null;
    // How the tests ask the program to end.
    this.endRequest = 'SIGTERM';
  }

  get baseUrl() {
    return `http://127.0.0.1:${this.port}`;
  }

  env() {
    return {
      PATH: process.env.PATH,
      LANG: 'C.UTF-8',
      HOME: this.home,
      XDG_CONFIG_HOME: path.join(this.home, '.config'),
      XDG_RUNTIME_DIR: this.runtime,
      SDL_VIDEODRIVER: 'dummy',
      SDL_AUDIODRIVER: 'dummy',
    };
  }

  async start() {
    this.port = await freeLoopbackPort();
    fs.mkdirSync(this.settings, { recursive: true });
    fs.mkdirSync(path.join(this.home, '.config'), { recursive: true });
    fs.mkdirSync(this.runtime, { mode: 0o700 });
    fs.chmodSync(this.runtime, 0o700);
    fs.writeFileSync(
      path.join(this.settings, 'TarvelXConnectExtended.ini'),
      `[Common]\nLogging=1\nDataRequestPeriod=1\n\n[Server]\nEnabled=1\nPort=${this.port}\n` +
        `WebserverWaits4Sim=${this.waits4Sim}\n`,
    );
    // The simulator stand-in serves a port of its own, named to the program before it starts
    // (over IPv6 when TX_TEST_SIM_PROTOCOL=IPv6).
    this.simPort = await freeLoopbackPort();
    const ipv6 = process.env.TX_TEST_SIM_PROTOCOL === 'IPv6';
    fs.writeFileSync(
      path.join(this.settings, 'SimConnect.cfg'),
      `[SimConnect]\nProtocol=${ipv6 ? 'IPv6' : 'IPv4'}\nAddress=${ipv6 ? '::1' : '127.0.0.1'}\n` +
        `Port=${this.simPort}\n`,
    );
    const options = { env: this.env(), cwd: this.root };

    // The program connects the gauge's pipe once, when its web server starts: the gauge listens first.
    this.gauge = new Child('gauge-standin', path.join(binDir, 'gauge-standin'),
      ['--settings', this.settings, '--log', this.gaugeLog], options, path.join(this.root, 'gauge-standin.out'));
    await this.startSim();
    await waitFor(() => this.failedChild() || readText(this.gaugeLog).includes('GAUGE: listening on'),
      kStartTimeoutMs, 'the gauge stand-in');
    this.checkChildren();

    this.program = new Child('TarvelXConnectExtended', path.join(binDir, 'TarvelXConnectExtended'), [],
      { env: this.env(), cwd: wwwDir }, this.programOutput);
    await this.waitForLog('FSX online.', kStartTimeoutMs);
    await waitFor(async () => {
      this.checkChildren();
      const answer = await rawGet(this.port, '/');
      return answer && answer.startsWith('HTTP/1.1 ') && answer.includes('Tarvel X Connect Extended');
    }, kStartTimeoutMs, 'the status page');
    return this;
  }

  failedChild() {
    return [this.sim, this.gauge, this.program].some((child) => child && !child.running && !child.stopping);
  }

  checkChildren() {
    for (const child of [this.sim, this.gauge, this.program]) {
      if (child && !child.running && !child.stopping) {
        throw new Error(`${child.name} ended early (${child.exit}); its log goes to ${artefactsDir}`);
      }
    }
  }

  // The logs stay readable after stop() has removed the private folders.
  log() {
    return this.finalLog ?? readText(this.programLog);
  }

  gaugeLogText() {
    return this.finalGaugeLog ?? readText(this.gaugeLog);
  }

  // Waits until the program's log holds `text` at least `count` times.
  async waitForLog(text, timeoutMs = 10000, count = 1) {
    await waitFor(() => {
      this.checkChildren();
      return this.log().split(text).length - 1 >= count;
    }, timeoutMs, `"${text.trim()}" in the program's log`);
  }

  // One command on the simulator stand-in's control channel; resolves with its answer line.
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

  // The stand-in's "status" answer as a map of its key=value words.
  async simStatus() {
    const answer = await this.ctl('status');
    return Object.fromEntries(answer.split(' ').slice(1).map((word) => word.split('=')));
  }

  // Starts the simulator stand-in (again, after stopSim) and waits for its control channel.
  async startSim() {
    this.sim = new Child('sim-standin', path.join(binDir, 'sim-standin'),
      ['--log', this.simLog, '--rate', String(this.rate), '--port', String(this.simPort)],
      { env: this.env(), cwd: this.root },
      path.join(this.root, 'sim-standin.out'));
    await waitFor(() => this.failedChild() || fs.existsSync(this.controlPath), kStartTimeoutMs, 'the simulator stand-in');
    this.checkChildren();
  }

  async stopSim() {
    return this.sim ? this.sim.stop() : null;
  }

  // The program first, so that it says goodbye to the gauge while the simulator is still up.
  // Keeps the logs beside the artefacts and removes the private folders.
  async stop() {
    const exits = {};
    for (const child of [this.program, this.gauge, this.sim]) {
      if (child) exits[child.name] = await child.stop();
    }
    fs.mkdirSync(artefactsDir, { recursive: true });
    for (const [file, label] of [[this.programLog, 'program.log'], [this.programOutput, 'program.out'],
      [this.simLog, 'sim-standin.log'], [this.gaugeLog, 'gauge-standin.log']]) {
      if (fs.existsSync(file)) fs.copyFileSync(file, path.join(artefactsDir, `${this.name}-${label}`));
    }
    this.finalLog = this.log();
    this.finalGaugeLog = this.gaugeLogText();
    fs.rmSync(this.root, { recursive: true, force: true });
    return exits;
  }
}

export async function startSystem(options) {
  if (onWindows) return windows.BrowserWindowsSystem.start(options);
  const system = new System(options);
  try {
    return await system.start();
  } catch (error) {
    await system.stop();
    throw error;
  }
}

// Debian's chromium, headless, in a fresh profile that playwright makes and removes. Host names
// other than the loopback address resolve to nothing, so the browser never leaves this machine.
export async function launchBrowser() {
  return chromium.launch({
    executablePath: chromiumPath,
    headless: true,
    args: [
      '--no-sandbox',
      '--disable-gpu',
      '--disable-quic',
      '--no-first-run',
      '--disable-background-networking',
      '--disable-component-update',
      '--disable-sync',
      '--no-proxy-server',
      '--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1',
    ],
  });
}

export function artefactPath(file) {
  fs.mkdirSync(artefactsDir, { recursive: true });
  return path.join(artefactsDir, onWindows ? `browser-${file}` : file);
}
