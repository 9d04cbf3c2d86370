// The X side of the window test: a display driven with xdotool, screenshots through ImageMagick,
// and pictures as plain RGB pixels (from a screenshot or from a picture file of the build), so what
// the window shows can be compared pixel for pixel with the program's resources.

import { spawn, spawnSync } from 'node:child_process';

import { sleep, waitFor } from '../../support/harness.mjs';

// A picture of 8-bit RGB pixels, rows top-down. Rectangles are { left, top, right, bottom }, right
// and bottom outside.
export class Rgb {
  constructor(width, height, data) {
    Object.assign(this, { width, height, data });
  }

  at(x, y) {
    const i = (y * this.width + x) * 3;
    return [...this.data.subarray(i, i + 3)];
  }

  // Every pixel inside `rect` (the whole picture unless told) as [x, y, [r, g, b]].
  * pixels({ left, top, right, bottom } = { left: 0, top: 0, right: this.width, bottom: this.height }) {
    for (let y = top; y < bottom; ++y) {
      for (let x = left; x < right; ++x) yield [x, y, this.at(x, y)];
    }
  }

  // A copy with `picture` put at (x, y).
  withPicture(picture, x, y) {
    const copy = new Rgb(this.width, this.height, Buffer.from(this.data));
    for (let row = 0; row < picture.height; ++row) {
      picture.data.copy(copy.data, ((y + row) * this.width + x) * 3, row * picture.width * 3, (row + 1) * picture.width * 3);
    }
    return copy;
  }

  // The pixels inside `rect` for which `test([r, g, b])` holds, and the first and last of their rows.
  find(rect, test) {
    const rows = [...this.pixels(rect)].filter(([, , rgb]) => test(rgb)).map(([, y]) => y);
    return { count: rows.length, firstRow: rows[0] ?? null, lastRow: rows.at(-1) ?? null };
  }

  // The first pixel that differs from `other` outside `excluded`, or null.
  firstDifference(other, excluded) {
    const inside = (x, y) => x >= excluded.left && x < excluded.right && y >= excluded.top && y < excluded.bottom;
    const [x, y, mine] = [...this.pixels()].find(([x, y, mine]) => !inside(x, y) && `${mine}` !== `${other.at(x, y)}`) ?? [];
    return mine ? { x, y, mine, theirs: other.at(x, y) } : null;
  }
}

// A picture file's pixels, read by ImageMagick.
export function readPicture(file) {
  const result = spawnSync('convert', [file, '-depth', '8', 'rgb:-'], { maxBuffer: 1 << 24 });
  const [width, height] = spawnSync('identify', ['-format', '%w %h', file], { encoding: 'latin1' }).stdout.split(' ').map(Number);
  if (result.status !== 0 || result.stdout.length !== width * height * 3) throw new Error(`cannot read ${file}`);
  return new Rgb(width, height, result.stdout);
}

// One X display: the pointer and keys through xdotool, screenshots through ImageMagick.
export class XDisplay {
  constructor(display) {
    this.display = display;
  }

  run(tool, args, check = true) {
    const result = spawnSync(tool, args, { env: { ...process.env, DISPLAY: this.display }, encoding: 'latin1', timeout: 20000 });
    if (check && result.status !== 0) throw new Error(`${tool} ${args.join(' ')}: ${result.status} ${result.stderr ?? ''}`);
    return result.stdout ?? '';
  }

  // The screen's part inside `rect`, kept as `file` (PNG).
  screenshot(file, rect) {
    const size = `${rect.right - rect.left}x${rect.bottom - rect.top}`;
    this.run('import', ['-window', 'root', '-crop', `${size}+${rect.left}+${rect.top}`, '+repage', file]);
    return readPicture(file);
  }

  // The top-left corner of the visible width x height window titled `title`, or null.
  findWindow(title, width, height) {
    for (const id of this.run('xdotool', ['search', '--onlyvisible', '--name', title], false).split('\n').filter(Boolean)) {
      const shell = this.run('xdotool', ['getwindowgeometry', '--shell', id]);
      const value = (name) => Number(new RegExp(`^${name}=(-?\\d+)$`, 'm').exec(shell)?.[1]);
      if (value('WIDTH') === width && value('HEIGHT') === height) return { x: value('X'), y: value('Y') };
    }
    return null;
  }

  // Pointer and keys, each step given a moment as a user's would be.
  async move(x, y) { this.run('xdotool', ['mousemove', String(x), String(y)]); await sleep(150); }

  async button(action) { this.run('xdotool', [action, '1']); await sleep(150); }

  async click(x, y) { await this.move(x, y); await this.button('click'); }

  async key(...keys) {
    for (const key of keys) { this.run('xdotool', ['key', key]); await sleep(200); }
  }
}

// A private X server on a display number it picks itself; resolves with the server's process and
// the display.
export async function startXvfb() {
  const server = spawn('Xvfb', ['-displayfd', '3', '-noreset', '-screen', '0', '1280x1024x24', '-nolisten', 'tcp'],
    { stdio: ['ignore', 'ignore', 'ignore', 'pipe'] });
  let text = '';
  server.stdio[3].on('data', (chunk) => (text += chunk));
  await waitFor(() => text.includes('\n'), 20000, 'Xvfb to start');
  return { server, x: new XDisplay(`:${text.trim()}`) };
}
