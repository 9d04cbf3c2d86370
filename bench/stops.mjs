// The bench's row for stops at chosen moments: every stop of tests/app/StopMoments.mjs (the moments
// the suite checks), timed from SIGTERM to the exit being reaped. Prints the rows in the table's
// format on standard output; each moment's times, and each stop that was not clean, on standard error.
//   node bench/stops.mjs [build folder]      (default: build)

import path from 'node:path';

process.env.TX_BUILD_DIR = path.resolve(process.argv[2] ?? path.join(import.meta.dirname, '..', 'build'));
const { moments, runMoment } = await import('../tests/app/StopMoments.mjs');

const stops = [];
for (const moment of moments) {
  const mine = await runMoment(moment);
  for (const stop of mine) {
    stops.push({ ...stop, moment: moment.name });
    if (stop.problems.length > 0) console.error(`${moment.name} ${stop.label} (${stop.delay} ms): ${stop.problems.join('; ')}`);
  }
  console.error(`  ${moment.name}: ${mine.map((stop) => stop.ms.toFixed(1)).join(', ')} ms`);
}
// A stop that never came to its signal has no time; it counts as not clean.
const timed = stops.filter((stop) => Number.isFinite(stop.ms)).sort((a, b) => a.ms - b.ms);
const clean = stops.filter((stop) => stop.problems.length === 0).length;
const slowest = timed.at(-1);
const median = timed.length % 2 ? timed[(timed.length - 1) / 2].ms : (timed[timed.length / 2 - 1].ms + timed[timed.length / 2].ms) / 2;
const row = (figure, value, target, met) => console.log([figure.padEnd(58), value.padEnd(22), ''.padEnd(18), ''.padEnd(8), target.padEnd(12), met ? 'yes' : 'NO'].join(' | '));
row(`stops at chosen moments, clean (${stops.length} stops)`, `${clean} of ${stops.length}`, 'all', clean === stops.length);
row('stops at chosen moments, slowest SIGTERM to exit', `${slowest.ms.toFixed(1)} ms (${slowest.moment})`, '< 1 s', slowest.ms < 1000 && timed.length === stops.length);
row('stops at chosen moments, median SIGTERM to exit', `${median.toFixed(1)} ms`, '< 30 ms', median < 30);
