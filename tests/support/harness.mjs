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
  process.exit(spawnSync(process.execPath, ['--test', '--test-concurrency=1', ...files], { cwd: dir, stdio: 'inherit', env }).status ?? 1);
}

export const sourceDir = path.resolve(import.meta.dirname, '..', '..');
export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
export const count = (text, part) => text.split(part).length - 1;
export const readText = (file) => (fs.existsSync(file) ? fs.readFileSync(file, 'latin1') : '');

// Polls `condition` (may be async) until it gives a truthy value, which is returned.
export async function waitFor(condition, timeoutMs, what) {
  for (const deadline = Date.now() + timeoutMs; ; await sleep(50)) {
    const value = await condition();
    if (value) return value;
    if (Date.now() >= deadline) throw new Error(`timed out after ${timeoutMs} ms waiting for ${what}`);
  }
}

export function freeLoopbackPort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer().once('error', reject);
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
    const socket = net.createConnection({ host: '127.0.0.1', port }, () => socket.write(`GET ${target} HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n`));
    const chunks = [];
    socket.setTimeout(timeoutMs, () => socket.destroy()).on('data', (chunk) => chunks.push(chunk)).on('error', () => {});
    socket.on('close', () => resolve(chunks.length ? Buffer.concat(chunks) : null));
  });
}

export function simConnectCfg(port, ipv6 = false) {
  return `[SimConnect]\nProtocol=${ipv6 ? 'IPv6' : 'IPv4'}\nAddress=${ipv6 ? '::1' : '127.0.0.1'}\nPort=${port}\n`;
}

// Whatever still runs when this process ends (a test that threw before its clean-up) goes with it.
const liveChildren = new Set();
process.on('exit', () => liveChildren.forEach((child) => child.process.kill('SIGKILL')));

// A process of a test, its output in <outFile> and its errors beside it. Under Wine, `wine x.exe`
// becomes the Windows process itself, so a signal reaches the Windows program.
export class Child {
  constructor(name, program, args, options, outFile) {
    Object.assign(this, { name, outFile, errFile: outFile.replace(/\.out$/, '.err'), exit: null, windows: program === 'wine' });
    const [out, err] = [fs.openSync(this.outFile, 'a'), fs.openSync(this.errFile, 'a')];
    this.process = spawn(program, args, { ...options, stdio: [options.stdin ?? 'ignore', out, err] });
    [out, err].forEach((file) => fs.closeSync(file));
    this.process.stdin?.on('error', () => {});
    liveChildren.add(this);
    this.exited = new Promise((resolve) => {
      const ended = (exit) => {
        liveChildren.delete(this);
        resolve(this.exit ??= exit);
      };
      this.process.on('exit', (code, signal) => ended(signal ? `signal ${signal}` : code));
      this.process.on('error', (error) => ended(`failed to start: ${error.message}`));
    });
  }

  get running() { return this.exit === null; }

  stdout() { return readText(this.outFile); }

  stderr() { return readText(this.errFile); }

  // Resolves with the exit code, or throws when it has not ended within timeoutMs.
  async waitExit(timeoutMs) {
    this.stopping = true;
    await Promise.race([this.exited, new Promise((resolve) => setTimeout(resolve, timeoutMs).unref())]);
    if (this.running) throw new Error(`${this.name} still runs after ${timeoutMs} ms`);
    return this.exit;
  }

  // The signal, then SIGKILL when it has not ended in time; resolves with the exit code (or signal).
  async stop(signal = this.windows ? 'SIGKILL' : 'SIGTERM') {
    this.stopping = true;
    if (!this.running) return this.exit;
    this.process.kill(signal);
    setTimeout(() => this.running && this.process.kill('SIGKILL'), 20000).unref();
    return this.exited;
  }
}

// What both systems share; a subclass gives settings, artefactsDir, startSim(),
// stopSim(), startGauge(), startProgram(label), closeProgram() and cleanUp(). With `display`, the
// program shows its window there and opens URLs with a stub that writes them to `opened`.
export class SystemBase {
  constructor({ name, display }) {
    Object.assign(this, { name, display, children: [] });
    this.root = fs.mkdtempSync(path.join(os.tmpdir(), 'tx-system-'));
    this.gaugeLogFile = path.join(this.root, 'gauge-standin.log');
    this.simLog = path.join(this.root, 'sim-standin.log');
    this.opened = path.join(this.root, 'opened-urls.log');
    this.stub = path.join(this.root, 'browser-stub');
    fs.writeFileSync(this.stub, `#!/bin/sh\nprintf '%s\\n' "$1" >> '${this.opened}'\n`, { mode: 0o755 });
  }

  track(child) {
    this.children.push(child);
    return child;
  }

  get programLog() { return path.join(this.settings, 'TarvelXConnectExtended.log'); }

  // The program's log as written (CR LF on Windows) and with its lines ending in LF.
  rawLog() { return readText(this.programLog); }

  log() { return this.rawLog().replaceAll('\r\n', '\n'); }

  gaugeLog() { return readText(this.gaugeLogFile); }

  openedUrls() { return readText(this.opened); }

  // One command on the simulator stand-in's control channel; resolves with its answer line.
  ctl(command) {
    return new Promise((resolve, reject) => {
      const socket = net.createConnection(this.controlPath, () => socket.write(command + '\n'));
      let input = '';
      socket.setTimeout(5000, () => socket.destroy(new Error(`no answer to "${command}"`))).on('error', reject);
      socket.on('data', (chunk) => {
        if (!(input += chunk.toString('utf8')).includes('\n')) return;
        socket.end();
        const answer = input.slice(0, input.indexOf('\n'));
        answer.startsWith('ok') ? resolve(answer) : reject(new Error(`"${command}": ${answer}`));
      });
    });
  }

  // Throws when a process of the test has ended that was not asked to; true otherwise.
  checkChildren() {
    const early = this.children.find((child) => !child.running && !child.stopping);
    if (early) throw new Error(`${early.name} ended early (${early.exit}): ${early.stdout()}${early.stderr()}`);
    return true;
  }

  // A message box: `child` tells it on standard error. On Linux that is all, and the program goes on
  // at once; on Windows it waits in the box until answerInBox() has pressed OK.
  async answerBox(child, caption, text) {
    const shown = () => child.stderr().includes(`${caption}: ${text}`) && child.stderr().endsWith('\n');
    await waitFor(() => shown() || !child.running, 40000, `the "${caption}" box`);
    this.answerInBox?.(caption, text);
    return child.stderr().replaceAll('\r\n', '\n');
  }

  waitForLog(text, timeoutMs = 40000) {
    return waitFor(() => this.checkChildren() && this.log().includes(text), timeoutMs, `"${text.trim()}" in the log`);
  }

  // The INI file and SimConnect.cfg in the settings folder, with free ports for the server and
  // the simulator's stand-in.
  async writeSettings(waits4Sim = 1, ipv6 = process.env.TX_TEST_SIM_PROTOCOL === 'IPv6') {
    [this.port, this.simPort] = [await freeLoopbackPort(), await freeLoopbackPort()];
    fs.mkdirSync(this.settings, { recursive: true });
    fs.writeFileSync(path.join(this.settings, 'TarvelXConnectExtended.ini'), '[Common]\nLogging=1\nDataRequestPeriod=1\n\n' +
      `[Server]\nEnabled=1\nPort=${this.port}\nWebserverWaits4Sim=${waits4Sim}\n`);
    fs.writeFileSync(path.join(this.settings, 'SimConnect.cfg'), simConnectCfg(this.simPort, ipv6));
  }

  // The program connects the gauge's pipe once, as its web server starts: the gauge listens first.
  async startAll() {
    await this.writeSettings();
    await this.startSim();
    this.gauge = this.track(this.startGauge());
    await waitFor(() => this.checkChildren() && this.gaugeLog().includes('GAUGE: listening on'), 40000, 'the gauge stand-in');
    this.program = this.track(this.startProgram('program'));
    await this.waitForLog('FSX online.');
    await waitFor(async () => this.checkChildren() &&
      (await rawGet(this.port, '/'))?.toString('latin1').includes('Tarvel X Connect Extended'), 40000, 'the status page');
  }

  // Starts the system (`steps`, all of it unless told); when that fails, whatever did start is
  // stopped before the error goes on.
  static async start(options, steps = (system) => system.startAll()) {
    const system = new this(options);
    try {
      await steps(system);
      return system;
    } catch (error) {
      await system.stop().catch(() => {});
      throw error;
    }
  }

  // The program first, through its own close path, so that it says goodbye to the gauge while the
  // simulator is still up. Resolves with the program's exit and the test's processes still found
  // afterwards (none expected); the logs go to the artefacts folder as <name>-<file>.
  async stop() {
    const exit = this.program?.running ? await this.closeProgram().catch((error) => error.message) : this.program?.exit;
    for (const child of this.children) await child.stop();
    const left = this.cleanUp();
    if (fs.existsSync(this.programLog)) fs.copyFileSync(this.programLog, this.artefact('program.log'));
    for (const entry of fs.readdirSync(this.root).filter((file) => /\.(out|err|log)$/.test(file))) {
      fs.copyFileSync(path.join(this.root, entry), this.artefact(entry));
    }
    this.removeSettings();
    fs.rmSync(this.root, { recursive: true, force: true });
    return { exit, left };
  }

  artefact(file) {
    fs.mkdirSync(this.artefactsDir, { recursive: true });
    return path.join(this.artefactsDir, `${this.name}-${file}`);
  }
}
