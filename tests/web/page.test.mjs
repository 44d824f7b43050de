// The page in real headless Chromium: the same behaviours as the desktop
// window tests, judged by the canvas's pixels.  Each wait ends as soon as
// what it waits for happens; its limit only bounds a hang.
//
//   node --test tests/web/     (VORMO_PAGE and VORMO_FRAMES_DIR name the
//                               page and the frames as JPEG files)

import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';
import { probe, values_of_page } from './values.mjs';

const page_path = process.env.VORMO_PAGE ?? 'build-web/index.html';
const page_url = pathToFileURL(page_path).href;
const frames_dir = process.env.VORMO_FRAMES_DIR ?? 'build/frames-out';
const { caption, width, height, frame_count } = values_of_page(page_path);
const hang_limit = 20000;
const { rows } = probe;  // rows that tell all the frames apart
const tolerance = probe.browser_tolerance;  // browsers' decoders round differently
const slot_after = (slot, steps) => (((slot + steps) % frame_count) + frame_count) % frame_count;

let browser;
let signatures;  // each slot's rows, decoded by the browser from the frame's JPEG

before(async () => {
  browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: ['--no-sandbox'] });
  const page = await browser.newPage();
  const jpegs = [];
  for (let s = 0; s < frame_count; ++s) {
    jpegs.push(readFileSync(`${frames_dir}/slot-${String(s).padStart(2, '0')}.jpg`).toString('base64'));
  }
  signatures = await page.evaluate(async ({ jpegs, rows }) => {
    const out = [];
    for (const b64 of jpegs) {
      const bytes = Uint8Array.from(atob(b64), (c) => c.charCodeAt(0));
      const bitmap = await createImageBitmap(new Blob([bytes], { type: 'image/jpeg' }));
      const canvas = new OffscreenCanvas(bitmap.width, bitmap.height);
      const context = canvas.getContext('2d');
      context.drawImage(bitmap, 0, 0);
      out.push(rows.map((y) => Array.from(context.getImageData(0, y, bitmap.width, 1).data)));
    }
    return out;
  }, { jpegs, rows });
  await page.close();
});

after(async () => {
  await browser?.close();
});

// The canvas's rows as the page shows them.
const read_rows = (page) =>
  page.evaluate((rows) => {
    const canvas = document.querySelector('canvas');
    const context = canvas.getContext('2d');
    return rows.map((y) => Array.from(context.getImageData(0, y, canvas.width, 1).data));
  }, rows);

// The slot whose rows the canvas shows, or -1.
function slot_of(shown) {
  for (let s = 0; s < frame_count; ++s) {
    let near = true;
    for (let r = 0; r < rows.length && near; ++r) {
      const a = shown[r];
      const b = signatures[s][r];
      for (let i = 0; i < a.length; ++i) {
        if (i % 4 !== 3 && Math.abs(a[i] - b[i]) > tolerance) {
          near = false;
          break;
        }
      }
    }
    if (near) return s;
  }
  return -1;
}

const slot_shown = async (page) => slot_of(await read_rows(page));

async function wait_for(what, condition) {
  const end = Date.now() + hang_limit;
  for (;;) {
    const value = await condition();
    if (value !== undefined && value !== false) return value;
    if (Date.now() > end) assert.fail(`gave up waiting for ${what}`);
  }
}

// Waits until the canvas shows a slot other than `from`; that slot.
const next_slot = (page, from) =>
  wait_for(`a change from slot ${from}`, async () => {
    const s = await slot_shown(page);
    return s >= 0 && s !== from ? s : undefined;
  });

// The slots drawn from now on, over `count` changes.
async function record(page, count) {
  const from = await page.evaluate(() => window.vormo_draws.length);
  return wait_for(`${count} changes`, async () => {
    const drawn = await page.evaluate((from) => window.vormo_draws.slice(from), from);
    const changes = drawn.filter((s, i) => i === 0 || s !== drawn[i - 1]);
    return changes.length > count ? changes.slice(0, count + 1) : undefined;
  });
}

const steps = (slots) => slots.slice(1).map((s, i) => (s - slots[i] + frame_count) % frame_count);

// The slot the canvas settles on: unchanged over several ticks.
async function settled(page) {
  let last = await slot_shown(page);
  return wait_for('the frame to hold still', async () => {
    const ticks = await page.evaluate(() => Module.vormo.ticks);
    await page.waitForTimeout(400);
    const now = await slot_shown(page);
    const later = await page.evaluate(() => Module.vormo.ticks);
    const still = now === last && later > ticks + 4;
    last = now;
    return still ? now : undefined;
  });
}

// Every frame the page draws, told apart by the canvas's rows right after
// the draw: a sampler from outside could not keep up with the ticks.
function watch_draws({ signatures, rows, tolerance }) {
  window.vormo_draws = [];
  const draw = CanvasRenderingContext2D.prototype.drawImage;
  CanvasRenderingContext2D.prototype.drawImage = function (...args) {
    draw.apply(this, args);
    const shown = rows.map((y) => this.getImageData(0, y, this.canvas.width, 1).data);
    const slot = signatures.findIndex((signature) =>
      signature.every((row, r) => row.every((v, i) => i % 4 === 3 || Math.abs(v - shown[r][i]) <= tolerance)));
    window.vormo_draws.push(slot);
  };
}

async function open(options = {}) {
  const context = await browser.newContext({ viewport: { width: 1280, height: 900 }, ...options });
  await context.addInitScript(watch_draws, { signatures, rows, tolerance });
  const page = await context.newPage();
  await page.goto(page_url);
  return page;
}

// Opens the page and waits until its loop runs forwards at the start-up
// pace.
async function running(options) {
  const page = await open(options);
  await wait_for('the run', async () => (await slot_shown(page)) >= 2);
  return page;
}

async function ended(page) {
  await wait_for('the end line', () => page.evaluate(() => !document.getElementById('line').hidden));
  const black = (await read_rows(page)).every((row) => row.every((v, i) => i % 4 === 3 || v === 0));
  assert.ok(black, 'the canvas is not black');
  const ticks = await page.evaluate(() => Module.vormo.ticks);
  await page.waitForTimeout(300);
  assert.equal(await page.evaluate(() => Module.vormo.ticks), ticks, 'it still ticks');
  assert.match(await page.evaluate(() => document.getElementById('line').textContent), /ended.*[Rr]eload/);
}

describe('the page', () => {
  test('has the caption as its title and a canvas of the frames\' size', async () => {
    const page = await open();
    assert.equal(await page.evaluate(() => document.querySelector('title').textContent), caption);
    const size = await page.evaluate(() => {
      const c = document.querySelector('canvas');
      const r = c.getBoundingClientRect();
      return [c.width, c.height, r.width, r.height, document.querySelectorAll('canvas').length];
    });
    assert.deepEqual(size, [width, height, width, height, 1]);
    // A smaller viewport scales it down, keeping its proportions.
    await page.setViewportSize({ width: 600, height: 900 });
    const small = await page.evaluate(() => {
      const r = document.querySelector('canvas').getBoundingClientRect();
      return [r.width, r.height];
    });
    assert.deepEqual(small, [600, 600 * height / width]);
    await page.context().close();
  });

  test('the caption is a line of the page, and the canvas and its lines fit the screen', async () => {
    const page = await open();
    const layout = () =>
      page.evaluate(() => {
        const inside = (id) => {
          const r = document.getElementById(id).getBoundingClientRect();
          return r.top >= 0 && r.bottom <= innerHeight && r.left >= 0 && r.right <= innerWidth;
        };
        const c = document.querySelector('canvas').getBoundingClientRect();
        return {
          caption: document.getElementById('caption').textContent,
          canvas: [c.width, c.height],
          seen: inside('caption') && inside('surface') && (document.getElementById('line').hidden || inside('line')),
          sideways: document.documentElement.scrollWidth > innerWidth,
        };
      });
    let now = await layout();
    assert.equal(now.caption, caption);  // every blank kept
    assert.deepEqual(now.canvas, [width, height]);
    assert.ok(now.seen && !now.sideways, JSON.stringify(now));
    await page.setViewportSize({ width: 390, height: 844 });  // a phone
    now = await layout();
    assert.ok(now.seen && !now.sideways, JSON.stringify(now));
    await page.setViewportSize({ width: 1366, height: 700 });  // a short laptop screen, after the end
    await page.keyboard.press('Escape');
    await wait_for('the end line', () => page.evaluate(() => !document.getElementById('line').hidden));
    now = await layout();
    assert.ok(now.seen && !now.sideways, JSON.stringify(now));
    await page.context().close();
  });

  test('moves are queued at the canvas pixel, once each, at a device pixel ratio of 2', async () => {
    const page = await running({ viewport: { width: 600, height: 900 }, deviceScaleFactor: 2 });
    await page.evaluate(() => {
      window.vormo_moves = [];
      const queue = Module.vormo.events;
      const push = queue.push;
      queue.push = function (...added) {
        for (const e of added) if ('x' in e) window.vormo_moves.push([e.x, e.y]);
        return push.apply(this, added);
      };
    });
    const box = await page.locator('canvas').boundingBox();
    const moved_to = async (x, y) => {
      const before = await page.evaluate(() => window.vormo_moves.length);
      await page.mouse.move(box.x + x, box.y + y);
      return wait_for('the move', () =>
        page.evaluate((n) => (window.vormo_moves.length > n ? window.vormo_moves.at(-1) : undefined), before));
    };
    const near = ([x, y], [ex, ey]) => Math.abs(x - ex) <= 1 && Math.abs(y - ey) <= 1;
    assert.ok(near(await moved_to(0.2, 0.2), [0, 0]));
    assert.ok(near(await moved_to(box.width - 0.2, box.height - 0.2), [width - 1, height - 1]));
    assert.ok(near(await moved_to(box.width / 2, box.height / 2), [width / 2, height / 2]));
    // Moves within one canvas pixel, and a second button pressed: no more moves.
    const queued = await page.evaluate(() => window.vormo_moves.length);
    await page.mouse.move(box.x + box.width / 2 + 0.1, box.y + box.height / 2 + 0.1);
    await page.mouse.down({ button: 'right' });
    await page.mouse.up({ button: 'right' });
    await page.waitForTimeout(200);
    assert.equal(await page.evaluate(() => window.vormo_moves.length), queued);

    // In mouse-step mode, an upward drag in fractions of a canvas pixel
    // only ever steps back.
    const x = box.x + box.width / 2;
    let y = box.y + box.height / 2;
    await page.mouse.click(x, y);
    await page.mouse.move(x, (y += 10));
    const stepped = await settled(page);
    const from = await page.evaluate(() => window.vormo_draws.length);
    await page.mouse.down();
    for (let i = 0; i < 12; ++i) {
      await page.mouse.move(x, (y -= 0.3));
      if (i === 6) await page.mouse.down({ button: 'right' });
    }
    await page.mouse.up({ button: 'right' });
    const back = await settled(page);
    const drawn = await page.evaluate((from) => window.vormo_draws.slice(from), from);
    const changes = [stepped, ...drawn].filter((s, i, all) => i === 0 || s !== all[i - 1]);
    assert.ok(changes.length > 1, 'no step at all');
    assert.deepEqual(steps(changes), Array(changes.length - 1).fill(frame_count - 1), `slots ${changes}`);
    assert.equal(back, changes.at(-1));
    await page.context().close();
  });

  test('shows slot 0 first, then runs forwards a frame a tick', async () => {
    const page = await open();
    const first = await wait_for('a frame', () => page.evaluate(() => window.vormo_draws[0]));
    assert.equal(first, 0);
    const slots = await record(page, 8);
    assert.deepEqual(steps(slots), Array(8).fill(1), `slots ${slots}`);
    await page.context().close();
  });

  test('the stop and step keys move one slot; other keys do nothing', async () => {
    const page = await running();
    await page.keyboard.press('*');
    const stopped = await settled(page);
    await page.keyboard.press('*');
    assert.equal(await next_slot(page, stopped), slot_after(stopped, 1));
    await page.keyboard.press('/');
    assert.equal(await next_slot(page, slot_after(stopped, 1)), stopped);
    await page.keyboard.press(' ');
    assert.equal(await next_slot(page, stopped), slot_after(stopped, 1));
    await page.keyboard.press('=');
    await page.keyboard.press('a');
    assert.equal(await settled(page), slot_after(stopped, 1));
    await page.context().close();
  });

  test('minus runs backwards and plus forwards', async () => {
    const page = await running();
    await page.keyboard.press('-');
    await page.waitForTimeout(200);
    assert.deepEqual(steps(await record(page, 6)), Array(6).fill(frame_count - 1));
    await page.keyboard.press('+');
    await page.waitForTimeout(200);
    assert.deepEqual(steps(await record(page, 6)), Array(6).fill(1));
    await page.context().close();
  });

  test('mouse-step mode steps with vertical moves, and a click restores the run', async () => {
    const page = await running();
    const box = await page.locator('canvas').boundingBox();
    await page.mouse.move(box.x + 500, box.y + 300);
    await page.mouse.click(box.x + 500, box.y + 300);
    await page.mouse.move(box.x + 500, box.y + 320);
    const stepped = await settled(page);
    await page.mouse.move(box.x + 500, box.y + 340);
    assert.equal(await next_slot(page, stepped), slot_after(stepped, 1));
    await page.mouse.move(box.x + 500, box.y + 330);
    assert.equal(await next_slot(page, slot_after(stepped, 1)), stepped);
    await page.waitForTimeout(700);  // far from the first click: a single click
    const ticks = await page.evaluate(() => Module.vormo.ticks);
    await page.mouse.click(box.x + 500, box.y + 330);
    await wait_for('the run again', async () => (await page.evaluate(() => Module.vormo.ticks)) > ticks + 2 * frame_count &&
      (await slot_shown(page)) !== stepped);
    await page.context().close();
  });

  test('a tap switches mouse-step mode, a drag steps, and a double tap ends it', async () => {
    const page = await running({ hasTouch: true });
    const box = await page.locator('canvas').boundingBox();
    const cdp = await page.context().newCDPSession(page);
    const touch = (type, points) => cdp.send('Input.dispatchTouchEvent', { type, touchPoints: points });
    const x = box.x + 500;
    const y = box.y + 300;
    await page.touchscreen.tap(x, y);  // mouse-step mode on
    await touch('touchStart', [{ x, y }]);
    await touch('touchMove', [{ x, y: y + 20 }]);  // down: one step forward, then stopped
    await touch('touchEnd', []);
    const stepped = await settled(page);
    await touch('touchStart', [{ x, y: y + 20 }]);
    await touch('touchMove', [{ x, y: y + 40 }]);
    await touch('touchEnd', []);
    assert.equal(await next_slot(page, stepped), slot_after(stepped, 1));
    await page.waitForTimeout(700);
    await page.touchscreen.tap(x, y);
    await page.touchscreen.tap(x, y);
    await ended(page);
    await page.context().close();
  });

  test('a hidden page stops, and resumes where it was when shown', async () => {
    const page = await running();
    const set_hidden = (hidden) =>
      page.evaluate((hidden) => {
        Object.defineProperty(document, 'hidden', { configurable: true, get: () => hidden });
        Object.defineProperty(document, 'visibilityState', { configurable: true, get: () => (hidden ? 'hidden' : 'visible') });
        document.dispatchEvent(new Event('visibilitychange'));
      }, hidden);
    await set_hidden(true);
    await page.waitForTimeout(200);
    const held = await slot_shown(page);
    const ticks = await page.evaluate(() => Module.vormo.ticks);
    await page.waitForTimeout(500);
    assert.equal(await page.evaluate(() => Module.vormo.ticks), ticks, 'it ticked while hidden');
    assert.equal(await slot_shown(page), held);
    await set_hidden(false);
    assert.equal(await next_slot(page, held), slot_after(held, 1));
    await page.context().close();
  });

  test('ESC ends it: a black canvas, and nothing more', async () => {
    const page = await running();
    await page.keyboard.press('Escape');
    await ended(page);
    await page.context().close();
  });

  test('a double-click ends it', async () => {
    const page = await running();
    const box = await page.locator('canvas').boundingBox();
    await page.mouse.dblclick(box.x + 300, box.y + 300);
    await ended(page);
    await page.context().close();
  });

  test('a browser without WebAssembly or createImageBitmap gets one clear line instead of the canvas', async () => {
    for (const [missing, said] of [['WebAssembly', /no WebAssembly/], ['createImageBitmap', /no createImageBitmap/]]) {
      const context = await browser.newContext();
      await context.addInitScript((missing) => { delete window[missing]; }, missing);
      const page = await context.newPage();
      await page.goto(page_url);
      assert.equal(await page.locator('canvas').isVisible(), false);
      assert.match(await page.locator('#line').textContent(), said);
      await context.close();
    }
  });

  test('a failure after start-up stops it with one line that says so', async () => {
    const page = await running();
    await page.evaluate(() => setTimeout(() => Promise.reject(new Error('a fault for the test'))));
    await wait_for('the line', () => page.evaluate(() => !document.getElementById('line').hidden));
    const text = await page.locator('#line').textContent();
    assert.match(text, /stopped.*a fault for the test/);
    assert.doesNotMatch(text, /could not start/);
    const ticks = await page.evaluate(() => Module.vormo.ticks);
    await page.waitForTimeout(300);
    assert.equal(await page.evaluate(() => Module.vormo.ticks), ticks, 'it still ticks');
    await page.context().close();
  });
});
