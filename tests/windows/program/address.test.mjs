// The address the Windows program shows, on a machine whose first adapter no tablet reaches: Wine
// runs inside a network namespace of the test's own (unshare -rn) with a prefix of its own, so the
// program lists the namespace's adapters and routes through Windows' own calls. A Docker-like
// bridge is made first, the LAN adapter holds the default route; the LAN address is shown, and a
// new one within a few seconds when it changes.

import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { test } from 'node:test';

import { freeLoopbackPort, readText, sourceDir, waitFor } from '../../support/harness.mjs';
import { kNetwork, noNamespaces, renewAndFollow } from '../../support/namespace.mjs';
import { binDir } from '../../support/system_win32.mjs';

test('Wine in a namespace with a bridge first: the LAN address is shown and followed', { skip: noNamespaces }, async () => {
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'tx-winaddr-'));
  // Its own prefix and X server, both started inside the namespace, as the prefix's Wine server
  // and services are then.
  const env = { ...process.env, HOME: path.join(scratch, 'home'), WINEPREFIX: path.join(scratch, 'prefix'), WINEDEBUG: '-all' };
  const settings = path.join(env.HOME, 'Documents', 'Quennick', 'Tarvel');
  fs.mkdirSync(settings, { recursive: true });
  fs.mkdirSync(env.WINEPREFIX);
  const port = await freeLoopbackPort();
  fs.writeFileSync(path.join(settings, 'TarvelXConnectExtended.ini'),
    `[Common]\nLogging=1\n\n[Server]\nEnabled=1\nPort=${port}\nWebserverWaits4Sim=0\n`);
  const log = () => readText(path.join(settings, 'TarvelXConnectExtended.log')).replaceAll('\r\n', '\n');
  const script = `${kNetwork} && source "${path.join(sourceDir, 'scripts', 'wine-session.sh')}" && ` +
    `wine_session_start "${scratch}" >"${scratch}/prefix.out" 2>&1 && echo "$wine_session_xvfb_pid" >"${scratch}/xvfb.pid" && ` +
    `exec wine "${path.join(binDir, 'TarvelXConnectExtended.exe')}"`;
  const program = spawn('unshare', ['-rn', 'bash', '-c', script], { env, cwd: scratch, stdio: 'ignore' });
  const exited = new Promise((resolve) => program.on('exit', (code) => resolve(code)));
  try {
    await waitFor(() => log().includes('Webbrowser IP: ') || program.exitCode !== null, 180000, 'the address in the log');
    assert.match(log(), /\]: Network adapters: .*br-tx.*lan0.*\.\n/, readText(path.join(scratch, 'prefix.out')));
    assert.ok(log().includes(']: Webbrowser IP: 192.168.77.5.\n'), log());

    await renewAndFollow(program.pid, log);

    // taskkill posts WM_CLOSE; the prefix's server is reached through its socket in the file system.
    spawnSync('wine', ['taskkill', '/IM', 'TarvelXConnectExtended.exe'], { env, stdio: 'ignore', timeout: 30000 });
    assert.equal(await Promise.race([exited, new Promise((resolve) => setTimeout(resolve, 20000, 'still running').unref())]), 0);
    assert.ok(log().endsWith(']: TarvelXConnectExtended.exe: END.\n'));
  } finally {
    if (program.exitCode === null) program.kill('SIGKILL');
    for (const flag of ['-k', '-w']) spawnSync('wineserver', [flag], { env, stdio: 'ignore', timeout: 30000 });
    const xvfb = Number(readText(path.join(scratch, 'xvfb.pid')));
    if (xvfb > 0) try { process.kill(xvfb); } catch { /* gone already */ }
    fs.rmSync(scratch, { recursive: true, force: true });
  }
});
