// The program stopped at chosen moments (StopMoments.mjs), each a few times with varied delays:
// during start-up, while connecting to a simulator that never answers, just before and after the
// simulator quits, while the gauge stops reading, while requests are in flight and while a head
// trickles in. Every stop must be clean: exit code 0 soon after SIGTERM, no sanitizer report, END
// once and last in the log, the port free again and nothing left that a normal run does not leave.

import assert from 'node:assert/strict';
import { test } from 'node:test';

import { moments, runMoment } from './StopMoments.mjs';

for (const moment of moments) {
  test(`stopped ${moment.title}, it ends cleanly every time`, async () => {
    const stops = await runMoment(moment);
    assert.deepEqual(stops.filter((stop) => stop.problems.length > 0).map(({ label, delay, problems }) => `${label} (${delay} ms): ${problems.join('; ')}`), []);
  });
}
