// What the interop tests share: the build's programs, private folders, free loopback ports, child
// processes that never outlive the run, polling, and the stand-in's control channel.

import { spawn } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
export const binDir = path.join(path.resolve(process.env.TX_BUILD_DIR || path.join(here, '..', '..', 'build')), 'bin');

export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Polls `condition` until it gives a truthy value, which is returned.
export async function waitFor(condition, timeoutMs, what) {
  for (const deadline = Date.now() + timeoutMs; ; await sleep(20)) {
    const value = await condition();
    if (value) return value;
    if (Date.now() >= deadline) throw new Error(`timed out after ${timeoutMs} ms waiting for ${what}`);
  }
}

// A home and a runtime folder for one test, with `remove` to take them away.
export function tempHome() {
  const home = fs.mkdtempSync(path.join(os.tmpdir(), 'tx-interop-'));
  const runtime = path.join(home, 'run');
  fs.mkdirSync(runtime, { mode: 0o700 });
  const env = { ...process.env, HOME: home, XDG_RUNTIME_DIR: runtime, XDG_CONFIG_HOME: path.join(home, '.config') };
  return { home, runtime, env, remove: () => fs.rmSync(home, { recursive: true, force: true }) };
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

const live = new Set();
process.on('exit', () => live.forEach((child) => child.kill('SIGKILL')));

// A program of the build; `output` collects both its streams, `exited` resolves with its status.
export function start(program, args, env, stdin = '') {
  const child = spawn(path.join(binDir, program), args, { env, stdio: ['pipe', 'pipe', 'pipe'] });
  live.add(child);
  child.output = '';
  for (const stream of [child.stdout, child.stderr]) stream.on('data', (chunk) => (child.output += chunk));
  child.stdin.on('error', () => {});
  child.stdin.end(stdin);
  child.exited = new Promise((resolve) => child.on('close', (code, signal) => {
    live.delete(child);
    resolve(signal ?? code);
  }));
  return child;
}

// One control command to the stand-in; resolves with its answer line ('' when there is none).
export function control(socketPath, command) {
  return new Promise((resolve) => {
    let answer = '';
    const socket = net.createConnection(socketPath, () => socket.write(`${command}\n`));
    socket.setTimeout(5000, () => socket.destroy());
    socket.on('data', (chunk) => {
      answer += chunk;
      if (answer.includes('\n')) socket.destroy();
    });
    socket.on('error', () => {});
    socket.on('close', () => resolve(answer.split('\n')[0]));
  });
}
