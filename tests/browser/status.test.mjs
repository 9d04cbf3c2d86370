// The status page in a real browser: the flight values the simulator sent, and the Pause and Resume
// links, which must really pause and resume the simulator.

import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';

import { artefactPath, launchBrowser, sleep, startSystem } from './system.mjs';

// Long enough for the flying stand-in to move its values past the page's precision, and for the
// page's clock to go on by at least one second.
const kObservationMs = 3000;

let system;
let browser;
let page;

before(async () => {
  system = await startSystem({ name: 'status', rate: 10 });
  browser = await launchBrowser();
  page = await browser.newPage({ viewport: { width: 1000, height: 800 } });
});

after(async () => {
  if (browser) await browser.close();
  if (system) {
    const exits = await system.stop();
    assert.equal(exits.TarvelXConnectExtended, 0, `the program ends cleanly on ${system.endRequest}`);
    assert.match(system.log(), /TarvelXConnectExtended\.exe: END\.\n$/);
  }
});

// The table of the status page as { label: text }.
async function statusRows() {
  return page.locator('table tr').evaluateAll((rows) =>
    Object.fromEntries(rows.map((row) => {
      const cells = row.querySelectorAll('td');
      return [cells[0].textContent, cells[1].textContent];
    })));
}

function flightValues(rows) {
  const { 'LAST UPDATE': _time, ...values } = rows;
  return values;
}

async function loadStatus() {
  const response = await page.goto(system.baseUrl + '/');
  assert.equal(response.status(), 202);
  assert.equal(await page.title(), 'Quennick Tarvel X Connect Extended');
  return statusRows();
}

// Clicks a link of the pause row and follows the please-wait page back to the status page.
async function clickThroughPleaseWait(linkText, commandPath) {
  await page.getByRole('link', { name: linkText, exact: true }).click();
  await page.waitForLoadState('domcontentloaded');
  assert.equal(new URL(page.url()).pathname, commandPath);
  assert.equal(await page.title(), 'Please wait...');
  assert.equal(await page.locator('table').count(), 0, 'the please-wait page is empty');
  await page.waitForURL(system.baseUrl + '/', { timeout: 5000 });
  await page.waitForLoadState('load');
  assert.equal(await page.title(), 'Quennick Tarvel X Connect Extended');
}

test('the status page shows the flight values the simulator sent', async () => {
  await system.ctl('start');
  for (const command of ['set ias 250', 'set mach 0.785', 'set altitude 35000', 'set heading 4.7124',
    'set wpdistance 92600', 'set wpid DVR', 'set fuel 12345.5', 'set groundspeed 231.6',
    'set vspeed -5', 'data']) {
    await system.ctl(command);
  }
  // The last value set is in the record once the log line of a record carries it.
  await system.waitForLog('IAS=250 Kts; Mach=0.79 M; Alt=35000 Ft; Hdg=270; Distance=50.00 NM; ' +
    'CurrentFuelTotal=12345 LBS; Ground speed=450 Kts; Vert speed=-16.40 feet/sec; NextWP=DVR.');
  const before = Date.now();
  const rows = await loadStatus();
  assert.deepEqual(flightValues(rows), {
    'Sim running': 'Pause',
    IAS: '250 Kts',
    MACH: '0.78 M',
    ALTITUDE: '35000 Ft',
    HEADING: '270',
    'DIST TO NEXT WPT': '50 NM to DVR',
    'TOTAL FUEL REMAINING': '12345.5 LBS',
    'GROUND SPEED': '450 Kts',
    'AP FLIGHT MODE': 'DESCENDING',
  });
  // The time of the page, on the local 24-hour clock.
  const [hours, minutes, seconds] = rows['LAST UPDATE'].split(':');
  assert.match(rows['LAST UPDATE'], /^\d\d:\d\d:\d\d$/);
  const shown = new Date(before);
  shown.setHours(Number(hours), Number(minutes), Number(seconds), 0);
  const day = 24 * 3600 * 1000;
  const offset = (((shown.getTime() - before) % day) + day) % day;  // across midnight too
  assert.ok(offset < 5000 || offset > day - 5000, `time ${rows['LAST UPDATE']} is the page's own`);

  assert.equal(await page.getByRole('link', { name: 'Pause', exact: true }).getAttribute('href'), '/pause');
  assert.equal(await page.getByRole('link', { name: 'MCDU', exact: true }).getAttribute('href'), '/MCDU');
  const banner = await page.locator('img[src="busbanner.jpg"]').evaluate((img) => img.complete && img.naturalWidth);
  assert.ok(banner > 0, 'the banner picture is loaded');
  await page.screenshot({ path: artefactPath('status.png'), fullPage: true });
});

test('Pause freezes the simulator and Resume lets it fly on', async () => {
  await system.ctl('fly');
  // Flying: two pages a few seconds apart differ, so equal pages below mean a frozen flight.
  const flyingA = flightValues(await loadStatus());
  await sleep(kObservationMs);
  const flyingB = flightValues(await loadStatus());
  assert.notDeepEqual(flyingB, flyingA, 'the values move while the flight goes on');

  await clickThroughPleaseWait('Pause', '/pause');
  const pausedA = await statusRows();
  assert.equal(pausedA['Sim paused'], 'Resume');
  assert.equal(pausedA['Sim running'], undefined);
  assert.equal(await page.getByRole('link', { name: 'Resume', exact: true }).getAttribute('href'), '/resume');
  assert.equal((await system.simStatus()).paused, '1', 'the stand-in itself is paused');
  await system.waitForLog('Sim paused.');

  await sleep(kObservationMs);
  const pausedB = await loadStatus();
  assert.deepEqual(flightValues(pausedB), flightValues(pausedA), 'the values stand still while paused');
  assert.notEqual(pausedB['LAST UPDATE'], pausedA['LAST UPDATE'], 'the second page is a new one');
  assert.equal((await system.simStatus()).paused, '1');

  await clickThroughPleaseWait('Resume', '/resume');
  const resumedA = await statusRows();
  assert.equal(resumedA['Sim running'], 'Pause');
  assert.equal(resumedA['Sim paused'], undefined);
  assert.equal((await system.simStatus()).paused, '0', 'the stand-in itself runs again');
  await sleep(kObservationMs);
  const resumedB = flightValues(await loadStatus());
  assert.notDeepEqual(resumedB, flightValues(resumedA), 'the values move again after Resume');
});
