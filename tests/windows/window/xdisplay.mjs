// The X side of the window tests: an X display driven with xdotool, screenshots taken with
// ImageMagick's import, and pictures as plain RGB pixels (from a screenshot or from a BMP file that
// picture-gen drew), so that what the window shows can be compared pixel for pixel with what the
// program's resources hold.

import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';

import { sleep } from '../program/winsystem.mjs';

// A picture of 8-bit RGB pixels, rows top-down.
export class Rgb {
  constructor(width, height, data) {
    this.width = width;
    this.height = height;
    this.data = data;
  }

  at(x, y) {
    const i = (y * this.width + x) * 3;
    return [this.data[i], this.data[i + 1], this.data[i + 2]];
  }

  // The part of the picture inside `rect` ({ left, top, right, bottom }, right and bottom outside).
  crop(rect) {
    const width = rect.right - rect.left;
    const height = rect.bottom - rect.top;
    const data = Buffer.alloc(width * height * 3);
    for (let y = 0; y < height; ++y) {
      const from = ((rect.top + y) * this.width + rect.left) * 3;
      this.data.copy(data, y * width * 3, from, from + width * 3);
    }
    return new Rgb(width, height, data);
  }

  // A copy with `picture` put at (x, y).
  withPicture(picture, x, y) {
    const copy = new Rgb(this.width, this.height, Buffer.from(this.data));
    for (let row = 0; row < picture.height; ++row) {
      picture.data.copy(copy.data, ((y + row) * this.width + x) * 3, row * picture.width * 3,
        (row + 1) * picture.width * 3);
    }
    return copy;
  }

  // The pixels that differ from `other` (of the same size) outside the rectangle `excluded`.
  differencesOutside(other, excluded) {
    let count = 0;
    let first = null;
    for (let y = 0; y < this.height; ++y) {
      for (let x = 0; x < this.width; ++x) {
        if (x >= excluded.left && x < excluded.right && y >= excluded.top && y < excluded.bottom) continue;
        const mine = this.at(x, y);
        const theirs = other.at(x, y);
        if (mine[0] !== theirs[0] || mine[1] !== theirs[1] || mine[2] !== theirs[2]) {
          count += 1;
          first ??= { x, y, mine, theirs };
        }
      }
    }
    return { count, first };
  }

  // The pixels inside `rect` for which `test([r, g, b])` holds.
  count(rect, test) {
    let found = 0;
    for (let y = rect.top; y < rect.bottom; ++y) {
      for (let x = rect.left; x < rect.right; ++x) if (test(this.at(x, y))) found += 1;
    }
    return found;
  }

  // The rows inside `rect` that hold a pixel for which `test` holds: { first, last } or null.
  rows(rect, test) {
    let first = null;
    let last = null;
    for (let y = rect.top; y < rect.bottom; ++y) {
      for (let x = rect.left; x < rect.right; ++x) {
        if (test(this.at(x, y))) {
          first ??= y;
          last = y;
          break;
        }
      }
    }
    return first === null ? null : { first, last };
  }

  // A BMP file as picture-gen writes it: 24 bits per pixel, uncompressed, rows bottom-up.
  static fromBmp(file) {
    const bytes = fs.readFileSync(file);
    if (bytes.toString('latin1', 0, 2) !== 'BM' || bytes.readUInt16LE(28) !== 24) {
      throw new Error(`${file} is not a 24-bit BMP file`);
    }
    const offset = bytes.readUInt32LE(10);
    const width = bytes.readInt32LE(18);
    const height = bytes.readInt32LE(22);
    const stride = Math.ceil((width * 3) / 4) * 4;
    const data = Buffer.alloc(width * height * 3);
    for (let y = 0; y < height; ++y) {
      const row = offset + (height - 1 - y) * stride;
      for (let x = 0; x < width; ++x) {
        data[(y * width + x) * 3] = bytes[row + x * 3 + 2];
        data[(y * width + x) * 3 + 1] = bytes[row + x * 3 + 1];
        data[(y * width + x) * 3 + 2] = bytes[row + x * 3];
      }
    }
    return new Rgb(width, height, data);
  }
}

// A green of the address label: the label's own colour or one of its antialiased edge pixels
// over the dark band.
export function isLabelGreen([r, g, b]) {
  return g >= 96 && g > 2 * r && g > 2 * b;
}

// One X display: xdotool and screenshots on it.
export class XDisplay {
  constructor(display) {
    this.display = display;
  }

  run(tool, args) {
    const result = spawnSync(tool, args, {
      env: { ...process.env, DISPLAY: this.display }, encoding: 'latin1', timeout: 20000,
    });
    if (result.status !== 0) {
      throw new Error(`${tool} ${args.join(' ')}: ${result.status} ${result.stderr ?? ''}`);
    }
    return result.stdout;
  }

  // The whole screen into `file` (PNG), and the part inside `rect` as pixels.
  screenshot(file, rect) {
    this.run('import', ['-window', 'root', file]);
    if (!rect) return null;
    return this.pixels(file, rect);
  }

  pixels(file, rect) {
    const width = rect.right - rect.left;
    const height = rect.bottom - rect.top;
    const result = spawnSync('convert', [file, '-crop', `${width}x${height}+${rect.left}+${rect.top}`,
      '+repage', '-depth', '8', 'rgb:-'], { maxBuffer: 64 * 1024 * 1024, timeout: 20000 });
    if (result.status !== 0 || result.stdout.length !== width * height * 3) {
      throw new Error(`cannot read ${width}x${height} pixels of ${file}: ${result.stderr}`);
    }
    return new Rgb(width, height, result.stdout);
  }

  // Pointer and keys; each step is given a moment, as a user's would be.
  async move(x, y) {
    this.run('xdotool', ['mousemove', String(x), String(y)]);
    await sleep(150);
  }

  async press() {
    this.run('xdotool', ['mousedown', '1']);
    await sleep(150);
  }

  async release() {
    this.run('xdotool', ['mouseup', '1']);
    await sleep(150);
  }

  async click(x, y) {
    await this.move(x, y);
    this.run('xdotool', ['click', '1']);
    await sleep(150);
  }

  async key(...keys) {
    for (const key of keys) {
      this.run('xdotool', ['key', key]);
      await sleep(200);
    }
  }

  // The top-left corner of the visible window of `width` x `height` titled `title`, or null.
  findWindow(title, width, height) {
    let ids = '';
    try {
      ids = this.run('xdotool', ['search', '--onlyvisible', '--name', title]);
    } catch {
      return null;  // none yet
    }
    for (const id of ids.split('\n').filter(Boolean)) {
      const shell = this.run('xdotool', ['getwindowgeometry', '--shell', id]);
      const value = (name) => Number(new RegExp(`^${name}=(-?\\d+)$`, 'm').exec(shell)?.[1]);
      if (value('WIDTH') === width && value('HEIGHT') === height) return { x: value('X'), y: value('Y') };
    }
    return null;
  }
}

// A private X server for a Linux program, on a display number it picks itself.
export class Xvfb {
  async start() {
    this.process = spawn('Xvfb', ['-displayfd', '3', '-noreset', '-screen', '0', '1280x1024x24', '-nolisten', 'tcp'],
      { stdio: ['ignore', 'ignore', 'ignore', 'pipe'] });
    let text = '';
    this.process.stdio[3].on('data', (chunk) => { text += chunk.toString(); });
    for (let i = 0; i < 100 && !text.includes('\n'); ++i) await sleep(100);
    if (!text.includes('\n')) throw new Error('Xvfb did not start');
    this.display = `:${text.trim()}`;
    return new XDisplay(this.display);
  }

  async stop() {
    if (!this.process || this.process.exitCode !== null) return;
    const exited = new Promise((resolve) => this.process.once('exit', resolve));
    this.process.kill('SIGTERM');
    await exited;
  }
}
