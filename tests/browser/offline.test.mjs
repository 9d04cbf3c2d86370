// With the simulator gone the browser gets the offline page for every address; the server here
// does not wait for the simulator, so that page is actually served.

import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';

import { launchBrowser, startSystem } from './system.mjs';

let system;
let browser;
let page;

before(async () => {
  system = await startSystem({ name: 'offline', waits4Sim: 0 });
  browser = await launchBrowser();
  page = await browser.newPage();
});

after(async () => {
  if (browser) await browser.close();
  if (system) {
    const exits = await system.stop();
    assert.equal(exits.TarvelXConnectExtended, 0, `the program ends cleanly on ${system.endRequest}`);
  }
});

async function assertOfflinePage(target) {
  const response = await page.goto(system.baseUrl + target);
  assert.equal(response.status(), 202, target);
  assert.equal(await page.title(), 'FSX is offline', target);
  assert.equal(await page.locator('h2').textContent(), 'Tarvel X Connect Extended');
  const notice = page.locator('h3 font[color="red"]');
  assert.equal(await notice.textContent(), 'FSX is offline', target);
  assert.equal(await page.locator('table').count(), 0, `${target}: no status table`);
}

async function assertStatusPage() {
  const response = await page.goto(system.baseUrl + '/');
  assert.equal(response.status(), 202);
  assert.equal(await page.title(), 'Quennick Tarvel X Connect Extended');
  assert.equal(await page.locator('table tr').count(), 10);
}

// A simulator whose window has gone but that still takes connections comes back online at the
// next tick of the presence check, so "gone" here means the stand-in has ended.
test('pages answer the offline page while the simulator is gone, and the status page after', async () => {
  await assertStatusPage();
  assert.equal(await system.stopSim(), 0, 'the stand-in ends cleanly');
  await system.waitForLog('FSX offline.');
  const codesBefore = system.gaugeLogText().match(/GAUGE: code /g)?.length ?? 0;
  // Pictures too: the offline page, not the picture.
  for (const target of ['/', '/MCDU', '/MCDU_main', '/MCDU_KB_39', '/pause', '/resume', '/nothing-here',
    '/busbanner.jpg', '/MCDU_Dspl.png']) {
    await assertOfflinePage(target);
  }
  // Nothing reached the gauge or the simulator meanwhile.
  assert.equal(system.gaugeLogText().match(/GAUGE: code /g)?.length ?? 0, codesBefore);
  assert.doesNotMatch(system.log(), /Sim paused\.|Sim resumed\./);

  await system.startSim();
  await system.waitForLog('FSX online.', 10000, 2);
  await assertStatusPage();
});
