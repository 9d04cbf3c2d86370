// What the interop tests share: the build's programs, private folders, free loopback ports, child
// processes that never outlive a test, and the stand-in's control channel.

import { spawn } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
export const buildDir = path.resolve(process.env.TX_BUILD_DIR || path.join(here, '..', '..', 'build'));
export const binDir = path.join(buildDir, 'bin');

export function sleep(ms) {
  return new Promise((resolve) => setTimeout(resolve, ms));
}

// A private folder for one test; remove() takes it away with everything in it.
export function tempFolder(prefix) {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), `tx-interop-${prefix}-`));
  fs.chmodSync(folder, 0o700);
  return { path: folder, remove: () => fs.rmSync(folder, { recursive: true, force: true }) };
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

// Whatever still runs when this process ends (a test that threw before its clean-up) goes with it.
const liveChildren = new Set();
process.on('exit', () => {
  for (const child of liveChildren) child.process.kill('SIGKILL');
});

export class Child {
  constructor(program, args, { env, stdin = null } = {}) {
    this.exit = null;
    this.output = '';
    const input = stdin === null ? 'ignore' : 'pipe';
    this.process = spawn(program, args, { env, stdio: [input, 'pipe', 'pipe'] });
    liveChildren.add(this);
    for (const stream of [this.process.stdout, this.process.stderr])
      stream.on('data', (chunk) => (this.output += chunk.toString('latin1')));
    if (stdin !== null) {
      this.process.stdin.on('error', () => {});
      this.process.stdin.end(stdin);
    }
    this.exited = new Promise((resolve) => {
      this.process.on('close', (code, signal) => {
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

  // Resolves with the exit code (or signal), or with null when it runs past timeoutMs.
  async wait(timeoutMs) {
    let timer;
    const late = new Promise((resolve) => (timer = setTimeout(() => resolve(null), timeoutMs)));
    const exit = await Promise.race([this.exited, late]);
    clearTimeout(timer);
    return exit;
  }

  // SIGTERM, then SIGKILL when it has not ended in 5 s.
  async stop() {
    if (!this.running) return this.exit;
    this.process.kill('SIGTERM');
    if ((await this.wait(5000)) === null && this.running) this.process.kill('SIGKILL');
    return this.exited;
  }
}

// One control command; resolves with the answer line, or rejects when there is none.
export function control(socketPath, command, timeoutMs = 5000) {
  return new Promise((resolve, reject) => {
    const socket = net.createConnection(socketPath);
    let answer = '';
    const timer = setTimeout(() => finish(new Error(`no answer to "${command}"`)), timeoutMs);
    const finish = (error, line) => {
      clearTimeout(timer);
      socket.destroy();
      if (error) reject(error);
      else resolve(line);
    };
    socket.on('connect', () => socket.write(`${command}\n`));
    socket.on('data', (chunk) => {
      answer += chunk.toString('latin1');
      const end = answer.indexOf('\n');
      if (end >= 0) finish(null, answer.slice(0, end));
    });
    socket.on('error', (error) => finish(error));
    socket.on('close', () => finish(new Error(`control channel closed without an answer to "${command}"`)));
  });
}

// Collects what arrives (events, messages) and lets a test wait for the first that fits.
export class Inbox {
  constructor() {
    this.items = [];
    this.waiters = new Set();
  }

  push(item) {
    this.items.push(item);
    for (const waiter of [...this.waiters]) waiter();
  }

  // Resolves with the first item at or after index `from` that fits; rejects after timeoutMs.
  waitFor(fits, timeoutMs, what, from = 0) {
    return new Promise((resolve, reject) => {
      const check = () => {
        const index = this.items.findIndex((item, i) => i >= from && fits(item));
        if (index < 0) return;
        this.waiters.delete(check);
        clearTimeout(timer);
        resolve(this.items[index]);
      };
      const timer = setTimeout(() => {
        this.waiters.delete(check);
        reject(new Error(`timed out after ${timeoutMs} ms waiting for ${what}`));
      }, timeoutMs);
      this.waiters.add(check);
      check();
    });
  }
}
