// What the interop tests share: the build's programs, a private home for each test, and the
// stand-in's control channel. Processes, ports and polling come from the system tests' helpers.

import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

import { Child } from '../windows/program/winsystem.mjs';

export { freeLoopbackPort, waitFor } from '../windows/program/winsystem.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const binDir = path.join(path.resolve(process.env.TX_BUILD_DIR || path.join(here, '..', '..', 'build')), 'bin');

// A home and a runtime folder for one test; `start` runs a program of the build in them with
// `input` on its standard input, its output kept there too.
export function tempHome() {
  const home = fs.mkdtempSync(path.join(os.tmpdir(), 'tx-interop-'));
  const runtime = path.join(home, 'run');
  fs.mkdirSync(runtime, { mode: 0o700 });
  const env = { ...process.env, HOME: home, XDG_RUNTIME_DIR: runtime, XDG_CONFIG_HOME: path.join(home, '.config') };
  const start = (program, args, input) => {
    const child = new Child(program, path.join(binDir, program), args,
      { env, stdin: input === undefined ? 'ignore' : 'pipe' }, path.join(home, `${program}.out`));
    child.process.stdin?.end(input);
    return child;
  };
  return { home, runtime, start, remove: () => fs.rmSync(home, { recursive: true, force: true }) };
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
