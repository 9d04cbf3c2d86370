// Stops at chosen moments of the program's life, on Linux: each moment brings the program (beside
// its stand-ins, or beside a peer that misbehaves) to a point and sends SIGTERM there, a few times
// with varied delays, then looks at what the stop left. stops.test.mjs wants every stop clean;
// bench/stops.mjs times them.

import fs from 'node:fs';
import net from 'node:net';
import path from 'node:path';

import { Child, count, rawGet, sleep, waitFor } from '../support/harness.mjs';
import { System } from '../support/system_linux.mjs';

// Generous, so that a sanitizer build on a loaded machine never misses it, yet a stop that waits
// out one of the program's 5 s bounds does; how fast a stop is belongs to the bench.
const kExitBoundMs = 3000;
const kGiveUpMs = 20000;
const kEnd = 'TarvelXConnectExtended.exe: END.';
// What a normal run leaves in the runtime and settings folders: the instance lock's file and the log.
const kLeftByARun = ['run/TarvelXLoadManagerMutex', 'settings/TarvelXConnectExtended.log'];
const kSanitizerReport = /AddressSanitizer|LeakSanitizer|ThreadSanitizer|runtime error/;

// A gauge end node cannot play, as node accepts every connection by itself. "busy" fills its
// listen queue (backlog 0) with a connection of its own and never accepts, so that the program's
// connect waits; "deaf" takes every connection and never reads, so that once the program's socket
// buffer is full a key's write waits.
const kGaugePy = `import os, socket, sys, time
mode, path = sys.argv[1:]
os.makedirs(os.path.dirname(path), 0o700, exist_ok=True)
server = socket.socket(socket.AF_UNIX)
server.bind(path)
server.listen(0)
kept = [socket.socket(socket.AF_UNIX)]
if mode == 'busy': kept[0].connect(path)
print('listening', flush=True)
while mode == 'busy': time.sleep(60)
while True: kept.append(server.accept()[0])
`;

const runtimeOf = (system) => path.dirname(system.controlPath);
const pause = (ms) => (ms > 0 ? sleep(ms) : Promise.resolve());
const served = (system) => waitFor(async () => system.checkChildren() &&
  (await rawGet(system.port, '/'))?.toString('latin1').includes('Tarvel X Connect Extended'), 40000, 'the status page');

async function startGauge(system, mode) {
  const [ready, what] = mode ? [(gauge) => gauge.stdout().includes('listening'), `a ${mode} gauge`]
    : [() => system.gaugeLog().includes('GAUGE: listening on'), 'the gauge stand-in'];
  // The stand-in's picture goes beside the folders looked at, as it comes and goes with the keys.
  const gauge = system.track(mode ? new Child(`gauge-${mode}`, 'python3', ['-c', kGaugePy, mode, path.join(runtimeOf(system), 'pipe', 'MCDU_Input')],
    system.options, path.join(system.root, `gauge-${mode}.out`)) : system.startBuilt('gauge-standin', ['--settings', system.root, '--log', system.gaugeLogFile]));
  await waitFor(() => system.checkChildren() && ready(gauge), 40000, what);
}

// A simulator that takes the connection and never says a word; it goes with the moment's end.
function startSilentSimulator(system) {
  const peers = system.silentPeers = new Set();
  const server = net.createServer((peer) => peers.add(peer.on('error', () => {})));
  system.dropPeers = () => peers.clear(peers.forEach((peer) => peer.destroy()));
  system.closers = [system.dropPeers, () => server.close()];
  return new Promise((resolve) => server.listen(system.simPort, process.env.TX_TEST_SIM_PROTOCOL === 'IPv6' ? '::1' : '127.0.0.1', resolve));
}

// Until main() has blocked the termination signals their default action ends the process, whatever
// it would do; a moment of its own begins there.
async function signalsTaken(program) {
  const blocked = () => BigInt(`0x${fs.readFileSync(`/proc/${program.process.pid}/status`, 'latin1').match(/^SigBlk:\s*(\w+)/m)[1]}`) & 0x4000n;
  for (const deadline = Date.now() + 20000; program.running && !blocked(); await new Promise(setImmediate)) {
    if (Date.now() > deadline) throw new Error('SIGTERM not blocked after 20 s');
  }
}

// Writes `head` a byte at a time, one every `everyMs`, until the connection closes.
function trickle(port, head, everyMs) {
  const socket = net.createConnection({ host: '127.0.0.1', port }).on('error', () => {});
  const timer = setInterval(() => socket.write(head[socket.bytesWritten % head.length]), everyMs);
  socket.on('close', () => clearInterval(timer));
}

// SIGTERM `delay` ms after `until` has brought the program to the moment.
const reached = (until) => async (s, delay, term) => {
  await until(s);
  await pause(delay);
  term();
};
const online = async (s) => {
  await s.waitForLog('FSX online.');
  await served(s);
};

// Each moment: its stand-ins (setUp, once), what comes before each start (prepare), and the way from
// the start to SIGTERM (reach) for each delay in ms.
export const moments = [
  { name: 'start-up', title: 'during start-up', delays: [0, 1, 2, 5, 10, 25],
    setUp: async (s) => { await s.writeSettings(); await s.startSim(); await startGauge(s); },
    reach: reached((s) => signalsTaken(s.program)) },
  { name: 'silent-sim', title: 'while connecting to a simulator that never answers', delays: [0, 20, 200],
    setUp: async (s) => { await s.writeSettings(); await startSilentSimulator(s); await startGauge(s); },
    prepare: (s) => s.dropPeers(),
    reach: reached((s) => waitFor(() => s.silentPeers.size > 0, 40000, 'the connection')) },
  // A negative delay: SIGTERM that long before the quit; otherwise that long after its answer.
  { name: 'sim-quits', title: 'just before and after the simulator quits', delays: [-3, -2, -2, -1, -1, 0, 1, 2, 5],
    setUp: async (s) => { await s.writeSettings(); await startGauge(s); },
    prepare: async (s) => { await s.sim?.exited; await s.startSim(); },
    reach: async (s, delay, term) => {
      await s.waitForLog('FSX online.');
      s.sim.stopping = true;
      if (delay < 0) term();
      await pause(-delay);
      await s.ctl('quit');
      await pause(delay);
      if (delay >= 0) term();
    } },
  { name: 'busy-pipe', title: 'while connecting to a gauge whose queue is full', delays: [0, 50, 250],
    setUp: async (s) => { await s.writeSettings(0); await startGauge(s, 'busy'); },
    reach: reached((s) => s.waitForLog('Webserver (main) thread started.')) },
  // Keys in batches until one goes unanswered: the server is then held in a key's write.
  { name: 'deaf-gauge', title: 'while a key waits for a gauge that stopped reading', delays: [0, 10, 100],
    setUp: async (s) => { await s.writeSettings(); await s.startSim(); await startGauge(s, 'deaf'); },
    reach: reached(async (s) => {
      await online(s);
      for (let sent = 0; sent < 4000; sent += 16) {
        const batch = Promise.all(Array.from({ length: 16 }, () => rawGet(s.port, '/MCDU_KB_07')));
        if (!(await Promise.race([batch, sleep(500)]))?.every(Boolean)) return;
      }
    }) },
  { name: 'in-flight', title: 'while key presses and pages are in flight', delays: [0, 1, 3],
    setUp: async (s) => { await s.writeSettings(); await s.startSim(); await startGauge(s); },
    reach: reached(async (s) => {
      await online(s);
      ['/MCDU_KB_07', '/', '/MCDU_KB_39', '/MCDU_main', '/MCDU_Dspl.png'].forEach((target) => rawGet(s.port, target));
    }) },
  { name: 'trickle', title: 'while a client trickles its request head', delays: [25, 125, 400],
    setUp: async (s) => { await s.writeSettings(0); await startGauge(s); },
    reach: reached(async (s) => {
      await served(s);
      trickle(s.port, 'GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n', 50);
    }) },
];

const listFolders = (system) => [['run', runtimeOf(system)], ['settings', system.settings]]
  .flatMap(([name, dir]) => fs.readdirSync(dir, { recursive: true }).map((entry) => `${name}/${entry}`));
const portFree = (port) => new Promise((resolve) => {
  const server = net.createServer().once('error', () => resolve(false));
  server.listen(port, '127.0.0.1', () => server.close(() => resolve(true)));
});

// One start and stop: { label, delay, ms (SIGTERM to the exit), problems (none when the stop was clean) }.
// Each run's output and log are kept apart, under the artefacts' stop<n>.
async function stopOnce(system, moment, delay, label) {
  fs.rmSync(system.programLog, { force: true });
  await moment.prepare?.(system);
  const before = listFolders(system);
  const program = system.program = system.track(system.startProgram(label));
  const ended = program.exited.then(() => performance.now());
  let signalled;
  const problems = [];
  try {
    await moment.reach(system, delay, () => {
      program.stopping = true;
      signalled = performance.now();
      program.process.kill('SIGTERM');
    });
  } catch (error) {
    problems.push(`not reached: ${error.message}`);
  }
  if (signalled === undefined) return { label, delay, ms: NaN, problems: [...problems, `stopped with ${await program.stop('SIGKILL')}`] };
  if (await program.waitExit(kGiveUpMs).then(() => false, () => true)) {
    problems.push(`still running ${kGiveUpMs} ms after SIGTERM`);
    await program.stop('SIGKILL');
  }
  const ms = (await ended) - signalled;
  if (program.exit !== 0) problems.push(`exit ${program.exit}`);
  if (ms > kExitBoundMs) problems.push(`ended ${Math.round(ms)} ms after SIGTERM`);
  const report = program.stderr().split('\n').filter((line) => kSanitizerReport.test(line));
  if (report.length > 0) problems.push(`sanitizer: ${report.slice(0, 3).join(' | ')}`);
  const log = system.rawLog();
  fs.writeFileSync(path.join(system.root, `${label}-program.log`), log);
  if (count(log, kEnd) !== 1 || !log.endsWith(`]: ${kEnd}\n`)) problems.push(`END not once and last; the log ends: ${JSON.stringify(log.slice(-300))}`);
  if (!(await portFree(system.port))) problems.push(`port ${system.port} still taken`);
  const extra = listFolders(system).filter((entry) => !before.includes(entry) && !kLeftByARun.includes(entry));
  if (extra.length > 0) problems.push(`left behind: ${extra.join(', ')}`);
  return { label, delay, ms, problems };
}

// Every stop of a moment, in its own sandbox; the logs and outputs go to the build's artefacts.
export async function runMoment(moment) {
  const system = new System({ name: `stops-${moment.name}` });
  try {
    await moment.setUp(system);
    const stops = [];
    for (const [i, delay] of moment.delays.entries()) stops.push(await stopOnce(system, moment, delay, `stop${i}`));
    return stops;
  } finally {
    system.closers?.forEach((close) => close());
    const { left } = await system.stop();
    if (left.length > 0) throw new Error(`left running: ${left.join(', ')}`);
  }
}
