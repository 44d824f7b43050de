// Figures of the page in each browser engine (not tests: nothing here
// passes or fails), printed as rows of the same table as window_bench's:
//
//   first frame     navigation start -> the first frame drawn, the page and
//                   a plain page that fetches slot 0's JPEG and draws it
//                   (bench/plain_page.html), both from one local web server,
//                   alternating, cold (nothing cached)
//   run started     navigation start -> the second slot drawn (the run's
//                   first tick, once all 24 frames are decoded), seen by a
//                   script that the figures add to the page
//   other build     with --other DIR, the first frame and the run's start
//                   of another build of the page, alternating with this one
//   counting step   the start-up pace's tick (1,000,001 steps) over its
//                   steps, after a warm-up
//   ticks at k < 0  frames shown per second with the button held and the
//                   pointer left of the canvas (a negative pace)
//   pointer pace    ticks per second with the pointer at the top-left and at
//                   the bottom-right of the canvas, against the start-up pace
//   weight          index.html and vormo-kidney.js in bytes
//
//   node bench/page_bench.mjs [--other DIR] <build-web dir> <frames dir> [runs] [linux ticks at k < 0] [engine...]

import { mkdirSync, mkdtempSync, readFileSync, rmSync, statSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';

import { canvas_box, engines, launch, serve, sleep, ticks, wait_until } from '../tests/web/driver.mjs';
import { program_values } from '../tests/web/values.mjs';

const args = process.argv.slice(2);
const other_at = args.indexOf('--other');
const other = other_at >= 0 ? args.splice(other_at, 2)[1] : null;
const [dir = 'build-web', frames_dir = 'build/frames-out', runs_arg = '5', linux_arg = '0', ...chosen] = args;
const runs = Number(runs_arg);
const linux_ticks = Number(linux_arg);
const startup_steps = program_values(dir).startup_pace + 1;
const here = fileURLToPath(new URL('.', import.meta.url));

// Each build's page as its start-up is measured: a copy (measured.html)
// whose first script notes when the canvas is first given a picture other
// than its first, served beside the build's own files.
const watch = `<script>
  const draw = CanvasRenderingContext2D.prototype.drawImage;
  let first = null;
  CanvasRenderingContext2D.prototype.drawImage = function (picture, ...rest) {
    if (first === null) first = picture;
    else if (picture !== first && window.vormo_run_started === undefined) window.vormo_run_started = performance.now();
    return draw.call(this, picture, ...rest);
  };
</script>`;
const copies = mkdtempSync(join(tmpdir(), 'vormo-bench-'));
const served = async (build, name) => {
  const folder = join(copies, name);
  mkdirSync(folder);
  writeFileSync(join(folder, 'measured.html'), readFileSync(join(build, 'index.html'), 'utf8').replace('<head>', `<head>${watch}`));
  return serve(folder, build, frames_dir, here);
};
const server = await served(dir, 'this');
const other_server = other ? await served(other, 'other') : null;

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

// Ticks per second over a stretch.
async function rate(tab, ms) {
  const t0 = await ticks(tab);
  const start = Date.now();
  await sleep(ms);
  return ((await ticks(tab)) - t0) * 1000 / (Date.now() - start);
}

const until = (tab, what, condition) => wait_until(what, () => tab.evaluate(condition), 30000, 20);

// Navigation start -> the first frame drawn, and (for the viewer's page)
// -> the run started, in ms.
async function start_up(engine, url, run = true) {
  const tab = await engine.open(url);
  await until(tab, 'the first frame', () => performance.getEntriesByName('vormo-first-frame').length > 0);
  if (run) await until(tab, 'the run', () => window.vormo_run_started !== undefined);
  const ms = await tab.evaluate(() => [performance.getEntriesByName('vormo-first-frame')[0].startTime, window.vormo_run_started]);
  await tab.close();
  return ms;
}

console.log(`| ${'figure'.padEnd(34)} | ${'median'.padStart(8)} | ${'min – max'.padEnd(19)} | unit  | ratio`);
console.log('|---|---:|---|---|---|');
for (const name of chosen.length ? chosen : engines) {
  const engine = await launch(name);
  const first = [];
  const plain = [];
  const started = [];
  const other_first = [];
  const other_started = [];
  for (let r = 0; r < runs; ++r) {
    plain.push((await start_up(engine, server.url('plain_page.html'), false))[0]);
    const [f, s] = await start_up(engine, server.url('measured.html'));
    first.push(f);
    started.push(s);
    if (other_server) {
      const [of, os] = await start_up(engine, other_server.url('measured.html'));
      other_first.push(of);
      other_started.push(os);
    }
  }

  const step_ns = [];
  const negative = [];
  const top_left = [];
  const bottom_right = [];
  const startup = [];
  for (let r = 0; r < Math.min(runs, 3); ++r) {
    const tab = await engine.open(server.url('index.html'));
    await until(tab, 'the run', () => Module.vormo && Module.vormo.ticks > 30);
    await sleep(1000);  // warm-up: the engine's optimising tiers
    const at_startup = await rate(tab, 3000);
    startup.push(at_startup);
    step_ns.push(1e9 / at_startup / startup_steps);

    const box = await canvas_box(tab);
    await tab.move(box.x + 1, box.y + 1);
    top_left.push(await rate(tab, 1500));
    await tab.move(box.x + box.width - 1, box.y + box.height - 1);
    bottom_right.push(await rate(tab, 3000));

    await tab.move(box.x + 500, box.y + 300);
    await tab.down();
    await tab.move(box.x - 60, box.y + 300);
    await sleep(300);
    negative.push(await rate(tab, 2000));
    await tab.up();
    await tab.close();
  }
  await engine.close();

  const weight = statSync(`${dir}/index.html`).size + statSync(`${dir}/vormo-kidney.js`).size;
  const who = engine.name;
  line(`${who}: plain page's first frame`, plain, 'ms');
  line(`${who}: first frame`, first, 'ms', median(plain), 'plain page');
  if (other) line(`${who}: first frame, other build`, other_first, 'ms', median(first), 'this build');
  line(`${who}: run started`, started, 'ms', median(other_started), 'other build');
  if (other) line(`${who}: run started, other build`, other_started, 'ms');
  line(`${who}: counting step`, step_ns, 'ns');
  line(`${who}: ticks at k < 0`, negative, '/s', linux_ticks, 'Linux');
  line(`${who}: ticks, start-up pace`, startup, '/s');
  line(`${who}: ticks, pointer top-left`, top_left, '/s', median(startup), 'start-up');
  line(`${who}: ticks, pointer bottom-right`, bottom_right, '/s', median(startup), 'start-up');
  line(`${who}: weight`, [weight / 1024], 'KiB');
}
await server.close();
await other_server?.close();
rmSync(copies, { recursive: true });
