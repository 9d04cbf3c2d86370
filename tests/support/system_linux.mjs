// The system on Linux: the native programs of <build>/bin, each test with its own HOME and
// XDG_RUNTIME_DIR (the instance lock, the gauge's socket and the simulator's control channel are
// there), the program's window on SDL's dummy driver, or on the X display a window test gives.

import fs from 'node:fs';
import path from 'node:path';

import { Child, SystemBase, sourceDir, waitFor } from './harness.mjs';

const buildDir = path.resolve(process.env.TX_BUILD_DIR || path.join(sourceDir, 'build'));
export const binDir = path.join(buildDir, 'bin');

export class System extends SystemBase {
  constructor(options) {
    super(options);
    const home = path.join(this.root, 'home');
    const runtime = path.join(this.root, 'run');
    this.settings = path.join(home, 'Documents', 'Quennick', 'Tarvel');
    this.iniPattern = path.join(this.settings, 'TarvelXConnectExtended.ini').replace(/[.\\]/g, '\\$&');
    this.controlPath = path.join(runtime, 'sim-standin.ctl');
    this.artefactsDir = path.join(buildDir, 'artefacts');
    this.exe = path.join(binDir, 'TarvelXConnectExtended');
    fs.mkdirSync(path.join(home, '.config'), { recursive: true });
    fs.mkdirSync(runtime, { mode: 0o700 });
    const screen = this.display ? { DISPLAY: this.display, SDL_VIDEODRIVER: 'x11', BROWSER: this.stub } : { SDL_VIDEODRIVER: 'dummy' };
    this.options = { cwd: this.root, env: { ...process.env, LANG: 'C.UTF-8', HOME: home, XDG_CONFIG_HOME: path.join(home, '.config'),
      XDG_RUNTIME_DIR: runtime, SDL_AUDIODRIVER: 'dummy', ...screen } };
  }

  // A program of the build in this test's home, `input` (when given) on its standard input.
  startBuilt(program, args, input) {
    const child = new Child(program, path.join(binDir, program), args,
      { ...this.options, stdin: input === undefined ? 'ignore' : 'pipe' }, path.join(this.root, `${program}.out`));
    child.process.stdin?.end(input);
    return child;
  }

  async startSim() {
    this.sim = this.track(this.startBuilt('sim-standin', ['--log', this.simLog, '--port', String(this.simPort)]));
    await waitFor(() => this.checkChildren() && fs.existsSync(this.controlPath), 40000, 'the simulator stand-in');
  }

  stopSim() { return this.sim.stop(); }

  startGauge() {
    return this.startBuilt('gauge-standin', ['--settings', this.settings, '--log', this.gaugeLogFile]);
  }

  // The program starts in the folder of the web pages' pictures.
  startProgram(label) {
    return new Child('TarvelXConnectExtended', this.exe, [], { ...this.options, cwd: path.join(buildDir, 'www') },
      path.join(this.root, `${label}.out`));
  }

  // One close request: SIGTERM unless told, as the desktop's session end sends.
  requestClose(signal = 'SIGTERM') { this.program.process.kill(signal); }

  closeProgram() { return this.program.stop('SIGTERM'); }

  cleanUp() { return []; }

  removeSettings() {}
}
