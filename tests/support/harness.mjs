// The whole system as processes for the JS tests, on either system: the program, the gauge's
// stand-in and the simulator's stand-in, each test's own free ports and settings folder. Which
// system runs is TX_SYSTEM's choice (linux unless told); system_linux.mjs and system_win32.mjs
// say how each part starts there.

import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';

// A runner's whole work: the test files of `dir` one after another (the ports, prefix, display or
// pointer they use are one for all), or the skip code (77) CTest is told about when `missing` names
// something they need.
export function runTestFiles(what, missing, dir, files, env = process.env) {
  if (missing.length > 0) {
    console.log(`${what} skipped: missing ${missing.join(', ')}.`);
    process.exit(77);
  }
  const result = spawnSync(process.execPath, ['--test', '--test-concurrency=1', ...files], { cwd: dir, stdio: 'inherit', env });
  process.exit(result.status ?? 1);
}

export const sourceDir = path.resolve(import.meta.dirname, '..', '..');
export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
export const count = (text, part) => text.split(part).length - 1;

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

export function freeLoopbackPort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.once('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

// One raw HTTP exchange, so that no client library's leniency hides what the server sends.
// Resolves with the whole answer as bytes, or null when refused or nothing came.
export function rawGet(port, target, timeoutMs = 10000) {
  return new Promise((resolve) => {
    const socket = net.createConnection({ host: '127.0.0.1', port });
    const chunks = [];
    socket.setTimeout(timeoutMs, () => socket.destroy());
    socket.on('connect', () => socket.write(`GET ${target} HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n`));
    socket.on('data', (chunk) => chunks.push(chunk));
    socket.on('error', () => {});
    socket.on('close', () => resolve(chunks.length ? Buffer.concat(chunks) : null));
  });
}

export function iniText(port, waits4Sim = 0) {
  return `[Common]\nLogging=1\nDataRequestPeriod=1\n\n[Server]\nEnabled=1\nPort=${port}\n` +
    `WebserverWaits4Sim=${waits4Sim}\n`;
}

export function simConnectCfg(port, ipv6 = false) {
  return `[SimConnect]\nProtocol=${ipv6 ? 'IPv6' : 'IPv4'}\nAddress=${ipv6 ? '::1' : '127.0.0.1'}\nPort=${port}\n`;
}

// Whatever still runs when this process ends (a test that threw before its clean-up) goes with it.
const liveChildren = new Set();
process.on('exit', () => {
  for (const child of liveChildren) child.process.kill('SIGKILL');
});

// A process of a test, its output in <outFile> and its errors beside it. Under Wine, `wine x.exe`
// becomes the Windows process itself, so a signal reaches the Windows program.
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
    this.process.stdin?.on('error', () => {});
    liveChildren.add(this);
    this.exited = new Promise((resolve) => {
      const ended = (exit) => {
        this.exit ??= exit;
        liveChildren.delete(this);
        resolve(this.exit);
      };
      this.process.on('exit', (code, signal) => ended(signal ? `signal ${signal}` : code));
      this.process.on('error', (error) => ended(`failed to start: ${error.message}`));
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
    await Promise.race([this.exited, new Promise((resolve) => setTimeout(resolve, timeoutMs).unref())]);
    if (this.running) throw new Error(`${this.name} still runs after ${timeoutMs} ms`);
    return this.exit;
  }

  // The signal, then SIGKILL when it has not ended in time; resolves with the exit code (or signal).
  async stop(signal = 'SIGTERM') {
    this.stopping = true;
    if (!this.running) return this.exit;
    this.process.kill(signal);
    setTimeout(() => this.running && this.process.kill('SIGKILL'), 20000).unref();
    return this.exited;
  }
}

// One command on a simulator stand-in's control channel; resolves with its answer line.
export function simControl(controlPath, command) {
  return new Promise((resolve, reject) => {
    const socket = net.createConnection(controlPath, () => socket.write(command + '\n'));
    let input = '';
    socket.setTimeout(5000, () => socket.destroy(new Error(`no answer to "${command}"`)));
    socket.on('data', (chunk) => {
      input += chunk.toString('utf8');
      if (!input.includes('\n')) return;
      socket.end();
      const answer = input.slice(0, input.indexOf('\n'));
      if (answer.startsWith('ok')) resolve(answer);
      else reject(new Error(`"${command}": ${answer}`));
    });
    socket.on('error', reject);
  });
}

// What both systems share; a subclass gives settings, programLog, artefactsDir, startSim(),
// startGauge(), startProgram(label), closeProgram() and cleanUp().
export class SystemBase {
  // rate: simulated seconds per real second.
  constructor({ name, rate = 1 }) {
    this.name = name;
    this.rate = rate;
    this.root = fs.mkdtempSync(path.join(os.tmpdir(), 'tx-system-'));
    this.gaugeLogFile = path.join(this.root, 'gauge-standin.log');
    this.simLog = path.join(this.root, 'sim-standin.log');
    this.children = [];
  }

  get baseUrl() {
    return `http://127.0.0.1:${this.port}`;
  }

  track(child) {
    this.children.push(child);
    return child;
  }

  // The program's log as written (CR LF on Windows) and with its lines ending in LF.
  rawLog() {
    return this.finalLog ?? readText(this.programLog);
  }

  log() {
    return this.rawLog().replaceAll('\r\n', '\n');
  }

  gaugeLog() {
    return readText(this.gaugeLogFile);
  }

  ctl(command) {
    return simControl(this.controlPath, command);
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

  // The INI file and SimConnect.cfg in the settings folder, with free ports for the server and
  // the simulator's stand-in.
  async writeSettings(waits4Sim = 1, ipv6 = process.env.TX_TEST_SIM_PROTOCOL === 'IPv6') {
    this.port = await freeLoopbackPort();
    this.simPort = await freeLoopbackPort();
    fs.mkdirSync(this.settings, { recursive: true });
    fs.writeFileSync(path.join(this.settings, 'TarvelXConnectExtended.ini'), iniText(this.port, waits4Sim));
    fs.writeFileSync(path.join(this.settings, 'SimConnect.cfg'), simConnectCfg(this.simPort, ipv6));
  }

  // The program connects the gauge's pipe once, as its web server starts: the gauge listens first.
  async start() {
    await this.writeSettings();
    await this.startSim();
    this.gauge = this.track(this.startGauge());
    await waitFor(() => this.checkChildren() && this.gaugeLog().includes('GAUGE: listening on'), 40000,
      'the gauge stand-in');
    this.program = this.track(this.startProgram('program'));
    await waitFor(() => this.checkChildren() && this.log().includes('FSX online.'), 40000, 'the program online');
    await waitFor(async () => this.checkChildren() &&
      (await rawGet(this.port, '/'))?.toString('latin1').includes('Tarvel X Connect Extended'), 40000,
    'the status page');
    return this;
  }

  // Starts the system; when that fails, whatever did start is stopped before the error goes on.
  static async start(options) {
    const system = new this(options);
    try {
      return await system.start();
    } catch (error) {
      await system.stop().catch(() => {});
      throw error;
    }
  }

  // The program first, through its own close path, so that it says goodbye to the gauge while the
  // simulator is still up. Resolves with the program's exit and the test's processes still found
  // afterwards (none expected); the logs go to the artefacts folder.
  async stop() {
    const exit = this.program?.running ? await this.closeProgram().catch((error) => error.message) : this.program?.exit;
    for (const child of this.children) {
      if (child.running) await child.stop(child.windows ? 'SIGKILL' : 'SIGTERM');
    }
    const left = this.cleanUp();
    this.finalLog = readText(this.programLog);
    fs.writeFileSync(path.join(this.root, 'program.log'), this.finalLog);
    const gaugeLog = this.gaugeLog();
    this.gaugeLog = () => gaugeLog;
    fs.mkdirSync(this.artefactsDir, { recursive: true });
    for (const entry of fs.readdirSync(this.root).filter((file) => /\.(out|err|log)$/.test(file))) {
      fs.copyFileSync(path.join(this.root, entry), path.join(this.artefactsDir, `${this.name}-${entry}`));
    }
    this.removeSettings();
    fs.rmSync(this.root, { recursive: true, force: true });
    return { exit, left };
  }
}
