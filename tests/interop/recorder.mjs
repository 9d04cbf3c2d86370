// A listener on loopback that plays just enough simulator for a client to open: it answers the
// Open packet with a RECV_OPEN of its own making and keeps every byte each client sends, cut into
// packets by their size words. Nothing else is ever answered, so what it records is exactly what
// the client chose to send.

import net from 'node:net';

const kRecvOpenSize = 308;
const kOpenType = 0xf0000001;
// What a client of each protocol expects to hear back as application and SimConnect version.
const kServerVersions = {
  2: [0, 0, 60905, 0],
  3: [10, 0, 61355, 0],
  4: [10, 0, 61259, 0],
};

export function makeRecvOpen(protocol) {
  const packet = Buffer.alloc(kRecvOpenSize);
  packet.writeUInt32LE(kRecvOpenSize, 0);
  packet.writeUInt32LE(protocol, 4);
  packet.writeUInt32LE(2, 8);
  packet.write('Interop recorder', 12, 'latin1');
  const version = kServerVersions[protocol] ?? kServerVersions[4];
  // Application version, then SimConnect version; the two reserved words stay zero.
  [...version, ...version].forEach((value, i) => packet.writeUInt32LE(value, 268 + 4 * i));
  return packet;
}

class Connection {
  constructor(socket) {
    this.socket = socket;
    this.pending = Buffer.alloc(0);
    this.packets = [];
    this.ended = false;
    // Set when the stream stops making sense as packets (a size word below the header's).
    this.broken = null;
  }

  take(chunk) {
    this.pending = Buffer.concat([this.pending, chunk]);
    while (!this.broken && this.pending.length >= 4) {
      const size = this.pending.readUInt32LE(0);
      if (size < 16) {
        this.broken = `size word ${size} at packet ${this.packets.length}`;
        return;
      }
      if (this.pending.length < size) return;
      const packet = Buffer.from(this.pending.subarray(0, size));
      this.pending = this.pending.subarray(size);
      this.packets.push(packet);
      if (this.packets.length === 1 && packet.readUInt32LE(8) === kOpenType)
        this.socket.write(makeRecvOpen(packet.readUInt32LE(4)));
    }
  }
}

export class Recorder {
  constructor() {
    this.connections = [];
    this.waiters = new Set();
    this.server = net.createServer((socket) => {
      const connection = new Connection(socket);
      this.connections.push(connection);
      socket.on('data', (chunk) => {
        connection.take(chunk);
        this.wake();
      });
      socket.on('end', () => {
        connection.ended = true;
        socket.end();
        this.wake();
      });
      socket.on('error', () => {});
      socket.on('close', () => {
        connection.ended = true;
        this.wake();
      });
    });
  }

  async listen() {
    await new Promise((resolve, reject) => {
      this.server.once('error', reject);
      this.server.listen(0, '127.0.0.1', resolve);
    });
    this.port = this.server.address().port;
    return this;
  }

  wake() {
    for (const waiter of [...this.waiters]) waiter();
  }

  // Resolves with the first connection that satisfies `condition`, or rejects after timeoutMs.
  waitFor(condition, timeoutMs, what) {
    return new Promise((resolve, reject) => {
      const check = () => {
        const found = this.connections.find(condition);
        if (!found) return;
        this.waiters.delete(check);
        clearTimeout(timer);
        resolve(found);
      };
      const timer = setTimeout(() => {
        this.waiters.delete(check);
        const seen = this.connections.map((c) => `${c.packets.length} packets`).join(', ');
        reject(new Error(`recorder: timed out after ${timeoutMs} ms waiting for ${what} ` +
          `(connections: ${seen || 'none'})`));
      }, timeoutMs);
      this.waiters.add(check);
      check();
    });
  }

  async close() {
    for (const connection of this.connections) connection.socket.destroy();
    await new Promise((resolve) => this.server.close(resolve));
  }
}
