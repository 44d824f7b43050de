// Figures of the page in headless Chromium (not tests: nothing here passes
// or fails), printed as rows of the same table as window_bench's:
//
//   counting step   the start-up pace's tick (1,000,001 steps) over its steps,
//                   after a warm-up
//   ticks at k < 0  frames shown per second with the button held and the
//                   pointer left of the canvas (a negative pace)
//   first frame     navigation start -> the first frame drawn
//   page weight     index.html and vormo-kidney.js in bytes
//   pointer pace    ticks per second with the pointer at the top-left and at
//                   the bottom-right of the canvas, against the start-up pace
//
//   node bench/page_bench.mjs <build-web dir> [runs] [linux ticks at k < 0]

import { statSync } from 'node:fs';
import { createRequire } from 'node:module';
import { pathToFileURL } from 'node:url';

import { program_values } from '../tests/web/values.mjs';

const require = createRequire(new URL('../tests/web/', import.meta.url));
const { chromium } = require('playwright-core');

const dir = process.argv[2] ?? 'build-web';
const runs = Number(process.argv[3] ?? 5);
const linux_ticks = Number(process.argv[4] ?? 0);
const url = pathToFileURL(`${dir}/index.html`).href;
const startup_steps = program_values(dir).startup_pace + 1;

const median = (v) => {
  const s = [...v].sort((a, b) => a - b);
  const n = s.length;
  return n % 2 ? s[(n - 1) / 2] : (s[n / 2 - 1] + s[n / 2]) / 2;
};

function line(what, values, unit, ratio_to = 0, ratio_name = '') {
  const m = median(values);
  const lo = Math.min(...values);
  const hi = Math.max(...values);
  let row = `| ${what.padEnd(34)} | ${m.toFixed(1).padStart(8)} | ${lo.toFixed(1).padStart(8)} – ${hi.toFixed(1).padEnd(8)} | ${unit.padEnd(5)} |`;
  if (ratio_to > 0) row += ` ${(m / ratio_to).toFixed(2)} × ${ratio_name}`;
  console.log(row);
}

const ticks = (page) => page.evaluate(() => Module.vormo.ticks);

// Ticks per second over a stretch.
async function rate(page, ms) {
  const t0 = await ticks(page);
  const start = Date.now();
  await page.waitForTimeout(ms);
  return ((await ticks(page)) - t0) * 1000 / (Date.now() - start);
}

const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: ['--no-sandbox'] });
const first = [];
const step_ns = [];
const negative = [];
const top_left = [];
const bottom_right = [];
const startup = [];
for (let r = 0; r < runs; ++r) {
  const page = await browser.newPage({ viewport: { width: 1280, height: 900 } });
  await page.goto(url);
  await page.waitForFunction(() => Module.vormo && Module.vormo.ticks > 30, null, { timeout: 20000 });
  first.push(await page.evaluate(() => performance.getEntriesByName('vormo-first-frame')[0].startTime));
  await page.waitForTimeout(1000);  // warm-up: the engine's optimising tiers
  const at_startup = await rate(page, 3000);
  startup.push(at_startup);
  step_ns.push(1e9 / at_startup / startup_steps);

  const box = await page.locator('canvas').boundingBox();
  await page.mouse.move(box.x + 1, box.y + 1);
  top_left.push(await rate(page, 1500));
  await page.mouse.move(box.x + box.width - 1, box.y + box.height - 1);
  bottom_right.push(await rate(page, 3000));

  await page.mouse.move(box.x + 500, box.y + 300);
  await page.mouse.down();
  await page.mouse.move(box.x - 60, box.y + 300);
  await page.waitForTimeout(300);
  negative.push(await rate(page, 2000));
  await page.mouse.up();
  await page.close();
}
await browser.close();

const weight = statSync(`${dir}/index.html`).size + statSync(`${dir}/vormo-kidney.js`).size;
console.log(`\nThe page in Chromium (${runs} runs)\n`);
console.log(`| ${'figure'.padEnd(34)} | ${'median'.padStart(8)} | ${'min – max'.padEnd(19)} | unit  | ratio`);
console.log('|---|---:|---|---|---|');
line('page: counting step', step_ns, 'ns');
line('page: ticks at k < 0', negative, '/s', linux_ticks, 'Linux');
line('page: first frame', first, 'ms');
line('page: weight', [weight / 1024], 'KiB');
line('page: ticks, start-up pace', startup, '/s');
line('page: ticks, pointer top-left', top_left, '/s', median(startup), 'start-up');
line('page: ticks, pointer bottom-right', bottom_right, '/s', median(startup), 'start-up');
