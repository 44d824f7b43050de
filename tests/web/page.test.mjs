// The page in a real browser engine (Chromium, Firefox or WebKit, one per
// run): the same behaviours as the desktop window tests, judged by the
// canvas's pixels and by the pictures the page records itself showing.
// Each wait ends as soon as what it waits for happens; its limit only
// bounds a hang.
//
//   VORMO_ENGINE=chromium|firefox|webkit node --test tests/web/page.test.mjs
//   (VORMO_PAGE and VORMO_FRAMES_DIR name the page and the frames as JPEG
//   files; with VORMO_SCREENSHOTS set, the layout test leaves the page's
//   pictures at a desktop's and a phone's size in that folder)

import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { copyFileSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { pathToFileURL } from 'node:url';
import { canvas_box, launch, serve, sleep, ticks, wait_until } from './driver.mjs';
import { probe, values_of_page } from './values.mjs';

const page_path = process.env.VORMO_PAGE ?? 'build-web/index.html';
const page_url = `${pathToFileURL(page_path).href}?record`;
const shots = process.env.VORMO_SCREENSHOTS;
const frames_dir = process.env.VORMO_FRAMES_DIR ?? 'build/frames-out';
const { caption, width, height, frame_count } = values_of_page(page_path);
const hang_limit = 20000;
const { rows } = probe;  // rows that tell all the frames apart
const tolerance = probe.browser_tolerance;  // browsers' decoders round differently
const slot_after = (slot, steps) => (((slot + steps) % frame_count) + frame_count) % frame_count;

const engine_name = process.env.VORMO_ENGINE ?? 'chromium';
let engine;
let signatures;  // each slot's rows, decoded by the engine from the frame's JPEG

before(async () => {
  engine = await launch(engine_name);
  const page = await engine.open(page_url);
  const jpegs = [];
  for (let s = 0; s < frame_count; ++s) {
    jpegs.push(readFileSync(`${frames_dir}/slot-${String(s).padStart(2, '0')}.jpg`).toString('base64'));
  }
  signatures = await page.evaluate(async ({ jpegs, rows }) => {
    const out = [];
    for (const b64 of jpegs) {
      const bytes = Uint8Array.from(atob(b64), (c) => c.charCodeAt(0));
      const bitmap = await createImageBitmap(new Blob([bytes], { type: 'image/jpeg' }));
      const canvas = document.createElement('canvas');
      canvas.width = bitmap.width;
      canvas.height = bitmap.height;
      const context = canvas.getContext('2d');
      context.drawImage(bitmap, 0, 0);
      out.push(rows.map((y) => Array.from(context.getImageData(0, y, bitmap.width, 1).data)));
    }
    return out;
  }, { jpegs, rows });
  await page.close();
});

after(async () => {
  await engine?.close();
});

// Skips a test, or part of one, in an engine that cannot do what it needs.
const unless = (t, can, why) => {
  if (!can) t.skip(`${engine.name} ${why}`);
  return !can;
};

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

const wait_for = (what, condition) => wait_until(what, condition, hang_limit);

// Waits until the canvas shows a slot other than `from`; that slot.
const next_slot = (page, from) =>
  wait_for(`a change from slot ${from}`, async () => {
    const s = await slot_shown(page);
    return s >= 0 && s !== from ? s : undefined;
  });

// The slots the page has drawn since the `from`th picture it showed (the
// frame table shows Image1 ... Image24 in slots 0 ... 23).
const drawn = (page, from = 0) => page.evaluate((from) => Module.vormo.shown.slice(from).map((h) => h - 1), from);
const drawn_count = (page) => page.evaluate(() => Module.vormo.shown.length);
const state = (page) => page.evaluate(() => document.documentElement.dataset.viewer);

// A run of slots without its repeats.
const changes_of = (slots) => slots.filter((s, i) => i === 0 || s !== slots[i - 1]);

// The slots drawn since the from-th picture (after `slot`, where given),
// over `count` changes.
const changes_since = (page, from, count, slot = []) =>
  wait_for(`${count} changes`, async () => {
    const changes = changes_of([slot, ...(await drawn(page, from))].flat());
    return changes.length > count ? changes.slice(0, count + 1) : undefined;
  });

// The slots drawn from now on, over `count` changes.
const record = async (page, count) => changes_since(page, await drawn_count(page), count);

const steps = (slots) => slots.slice(1).map((s, i) => (s - slots[i] + frame_count) % frame_count);

// The slot the canvas settles on: unchanged over several ticks.
async function settled(page) {
  let last = await slot_shown(page);
  return wait_for('the frame to hold still', async () => {
    const before = await ticks(page);
    await sleep(400);
    const now = await slot_shown(page);
    const still = now === last && (await ticks(page)) > before + 4;
    last = now;
    return still ? now : undefined;
  });
}

const open = (options) => engine.open(page_url, options);

// Opens the page and waits until its loop runs forwards at the start-up
// pace.
async function running(options, on = engine) {
  const page = await on.open(page_url, options);
  await wait_for('the run', async () => (await slot_shown(page)) >= 2);
  return page;
}

// The page says it has ended: a black canvas, no more ticks, and the line.
async function ended(page) {
  await wait_for('the end', async () => (await state(page)) === 'ended');
  const black = (await read_rows(page)).every((row) => row.every((v, i) => i % 4 === 3 || v === 0));
  assert.ok(black, 'the canvas is not black');
  const at_end = await ticks(page);
  await sleep(300);
  assert.equal(await ticks(page), at_end, 'it still ticks');
  assert.match(await page.evaluate(() => document.getElementById('line').textContent), /ended.*[Rr]eload/);
}

// The keys, as runs of rows from a page that runs: a key, and what it
// leads to: the frame held still, a step forwards (1) or back (-1) from
// the slot before, a run that way, nothing, or the end.
const key_runs = [
  {
    name: 'the stop and step keys move one slot; other keys do nothing',
    rows: [['*', 'still'], ['*', 1], ['/', -1], [' ', 1], ['=', 'nothing'], ['a', 'nothing']],
  },
  { name: 'minus runs backwards and plus forwards', rows: [['-', 'run', -1], ['+', 'run', 1]] },
  { name: 'ESC ends it: a black canvas, and nothing more', rows: [['Escape', 'end']] },
];

async function play(page, rows, press) {
  let slot;
  for (const [key, then, way] of rows) {
    await press(key);
    if (then === 'still') {
      slot = await settled(page);
    } else if (then === 'nothing') {
      assert.equal(await settled(page), slot, `after ${key}`);
    } else if (then === 'run') {
      await sleep(200);
      assert.deepEqual(steps(await record(page, 6)), Array(6).fill((frame_count + way) % frame_count), `after ${key}`);
    } else if (then === 'end') {
      await ended(page);
    } else {
      const from = slot;
      slot = slot_after(from, then);
      assert.equal(await next_slot(page, from), slot, `after ${key}`);
    }
  }
}

describe(`the page in ${engine_name}`, () => {
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
    await page.resize(600, 900);
    const small = await canvas_box(page);
    assert.deepEqual([small.width, small.height], [600, 600 * height / width]);
    await page.close();
  });

  test('the caption is a line of the page, and the canvas and its lines fit the screen', async (t) => {
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
    const shot = async (name) => {
      if (shots) await page.screenshot(join(shots, `page-${engine_name}-${name}.png`));
    };
    let now = await layout();
    assert.equal(now.caption, caption);  // every blank kept
    assert.deepEqual(now.canvas, [width, height]);
    assert.ok(now.seen && !now.sideways, JSON.stringify(now));
    await shot('desktop');
    const phone = await page.resize(390, 844);
    if (phone[0] !== 390) t.diagnostic(`${engine.name}'s narrowest viewport is ${phone[0]} CSS pixels: the phone's width is checked there`);
    now = await layout();
    assert.ok(now.seen && !now.sideways, JSON.stringify(now));
    await shot('phone');
    await page.resize(1366, 700);  // a short laptop screen, after the end
    await page.key('Escape');
    await wait_for('the end', async () => (await state(page)) === 'ended');
    now = await layout();
    assert.ok(now.seen && !now.sideways, JSON.stringify(now));
    await page.close();
  });

  test('moves are queued at the canvas pixel, with the canvas scaled down', async () => {
    // At a device pixel ratio of 2 where the engine sets one, so that
    // pointer positions are fractions of a canvas pixel.
    const page = await running({ width: 600, height: 900, scale: 2 });
    await page.evaluate(() => {
      window.vormo_moves = [];
      const queue = Module.vormo.events;
      const push = queue.push;
      queue.push = function (...added) {
        for (const e of added) if ('x' in e) window.vormo_moves.push([e.x, e.y]);
        return push.apply(this, added);
      };
    });
    const moves = () => page.evaluate(() => window.vormo_moves.length);
    const box = await canvas_box(page);
    const moved_to = async (x, y) => {
      const before = await moves();
      await page.move(box.x + x, box.y + y);
      return wait_for('the move', () =>
        page.evaluate((n) => (window.vormo_moves.length > n ? window.vormo_moves.at(-1) : undefined), before));
    };
    const near = ([x, y], [ex, ey]) => Math.abs(x - ex) <= 1 && Math.abs(y - ey) <= 1;
    // (The pointer starts at the viewport's corner: the centre first.
    // Engines that move by whole CSS pixels round the corners inwards.)
    assert.ok(near(await moved_to(box.width / 2, box.height / 2), [width / 2, height / 2]));
    assert.ok(near(await moved_to(0.6, 0.6), [0, 0]));
    assert.ok(near(await moved_to(box.width - 0.6, box.height - 0.6), [width - 1, height - 1]));
    await page.move(box.x + box.width / 2, box.y + box.height / 2);
    // A move within the same canvas pixel, and a second button pressed:
    // any move queued is at the pixel last queued, which the program
    // drops.
    const queued = await moves();
    const fraction = engine.can.fractional_moves ? 0.1 : 0;
    await page.move(box.x + box.width / 2 + fraction, box.y + box.height / 2 + fraction);
    if (engine.can.second_button) {
      await page.down('right');
      await page.up('right');
    }
    await sleep(200);
    const same = await page.evaluate((n) => window.vormo_moves.slice(n - 1), queued);
    assert.ok(same.every(([x, y]) => x === same[0][0] && y === same[0][1]), JSON.stringify(same));

    // In mouse-step mode, an upward drag in small steps (fractions of a
    // canvas pixel where the engine moves by fractions), with a second
    // button pressed half way where the engine presses one, only ever
    // steps back.
    const step = engine.can.fractional_moves ? 0.3 : 1;
    const x = box.x + box.width / 2;
    let y = box.y + box.height / 2;
    await page.click(x, y);
    await page.move(x, (y += 10));
    const stepped = await settled(page);
    const from = await drawn_count(page);
    await page.down();
    for (let i = 0; i < 12; ++i) {
      await page.move(x, (y -= step));
      if (i === 6 && engine.can.second_button) await page.down('right');
    }
    if (engine.can.second_button) await page.up('right');
    const back = await settled(page);
    const changes = changes_of([stepped, ...(await drawn(page, from))]);
    assert.ok(changes.length > 1, 'no step at all');
    assert.deepEqual(steps(changes), Array(changes.length - 1).fill(frame_count - 1), `slots ${changes}`);
    assert.equal(back, changes.at(-1));
    await page.up();
    await page.close();
  });

  test('shows slot 0 first, then runs forwards a frame a tick (served from a web server)', async () => {
    const server = await serve(dirname(page_path));
    const page = await engine.open(`${server.url('index.html')}?record`);
    const first = await wait_for('a frame', () => page.evaluate(() => Module.vormo?.shown[0]));
    assert.equal(first - 1, 0);
    const slots = await record(page, 8);
    assert.deepEqual(steps(slots), Array(8).fill(1), `slots ${slots}`);
    await page.close();
    await server.close();
  });

  test('served from this machine, it can be installed and starts again offline', async (t) => {
    if (unless(t, engine_name === 'chromium', 'is not asked: Chromium\'s DevTools protocol reports installability')) return;
    const server = await serve(dirname(page_path));
    const page = await engine.open(`${server.url('index.html')}?record`);
    await wait_for('the worker to keep the files', () => page.evaluate(() => navigator.serviceWorker.controller !== null));
    const { installabilityErrors: errors } = await page.devtools('Page.getInstallabilityErrors');
    // (The tests' tabs are off the record.)
    assert.deepEqual(errors.map((e) => e.errorId).filter((id) => id !== 'in-incognito'), []);
    await server.close();
    await page.reload();
    const slots = await record(page, 4);
    assert.deepEqual(steps(slots), Array(4).fill(1), `slots ${slots}`);
    await page.close();
  });

  for (const { name, rows } of key_runs) {
    test(name, async () => {
      const page = await running();
      await play(page, rows, (key) => page.key(key));
      await page.close();
    });
  }

  test('mouse-step mode steps with vertical moves, and a click restores the run', async () => {
    const page = await running();
    const box = await canvas_box(page);
    const x = box.x + 500;
    await page.move(x, box.y + 300);
    await page.click(x, box.y + 300);
    await page.move(x, box.y + 320);
    const stepped = await settled(page);
    await page.move(x, box.y + 340);
    assert.equal(await next_slot(page, stepped), slot_after(stepped, 1));
    await page.move(x, box.y + 330);
    assert.equal(await next_slot(page, slot_after(stepped, 1)), stepped);
    await sleep(700);  // far from the first click: a single click
    const from = await drawn_count(page);
    await page.click(x, box.y + 330);
    // Every step after the click is the restored run's: forwards.
    const slots = await wait_for('the run again', async () => {
      const now = await drawn(page, from);
      return now.length > 2 * frame_count ? now : undefined;
    });
    const changes = changes_of([stepped, ...slots]);
    assert.deepEqual(steps(changes), Array(changes.length - 1).fill(1), `slots ${changes}`);
    await page.close();
  });

  test('a tap switches mouse-step mode, a drag steps, and a double tap ends it', async (t) => {
    if (unless(t, engine.can.touch, 'takes no touch input through its automation')) return;
    const page = await running({ touch: true });
    const box = await canvas_box(page);
    const x = box.x + 500;
    const y = box.y + 300;
    // Mouse-step mode on; the mouse events a browser may make of the tap
    // (here untrusted, dispatched at once) are no second click.
    await page.tap(x, y);
    await page.evaluate(([x, y]) => {
      for (const type of ['mousedown', 'mouseup']) {
        document.querySelector('canvas').dispatchEvent(
          new MouseEvent(type, { bubbles: true, clientX: x, clientY: y, button: 0, detail: 1 }));
      }
    }, [x, y]);
    const drag = async (...ys) => {
      await page.touch_start(x, ys[0]);
      for (const to of ys.slice(1)) await page.touch_move(x, to);
      await page.touch_end();
    };
    await drag(y, y + 20);  // down: one step forward, then stopped
    const stepped = await settled(page);
    // A new touch above where the last one ended, moved down: forwards.
    let from = await drawn_count(page);
    await drag(y, y + 10, y + 20);
    let changes = await changes_since(page, from, 2, stepped);
    assert.deepEqual(steps(changes), [1, 1], `slots ${changes}`);
    // A drag that comes back where it began is no tap: still stepping.
    from = await drawn_count(page);
    await drag(y + 20, y + 60, y + 20);
    changes = await changes_since(page, from, 2, changes.at(-1));
    assert.deepEqual(steps(changes), [1, frame_count - 1], `slots ${changes}`);
    assert.equal(await settled(page), changes.at(-1));
    await sleep(700);
    await page.tap(x, y);
    await page.tap(x, y);
    await ended(page);
    await page.close();
  });

  test('on a touch screen, the key buttons type what the keys do', async (t) => {
    if (unless(t, engine.can.touch, 'takes no touch input through its automation')) return;
    const phone = engine_name === 'firefox' ? await launch('firefox', { coarse: true }) : engine;
    try {
      for (const { name, rows } of key_runs) {
        const page = await running({ touch: true, width: 390, height: 844 }, phone);
        const buttons = await page.evaluate(() => Object.fromEntries([...document.querySelectorAll('#keys button')].map((b) => {
          const r = b.getBoundingClientRect();
          return [b.dataset.key, { x: r.x + r.width / 2, y: r.y + r.height / 2, width: r.width, height: r.height, name: b.getAttribute('aria-label') }];
        })));
        for (const b of Object.values(buttons)) assert.ok(b.width >= 44 && b.height >= 44 && b.name, JSON.stringify(b));
        await play(page, rows.filter(([key]) => key in buttons), (key) => page.tap(buttons[key].x, buttons[key].y));
        // The canvas and every button on the screen, upright and sideways.
        for (const [w, h, way] of name === key_runs[0].name ? [[390, 844, 'portrait'], [844, 390, 'landscape']] : []) {
          await page.resize(w, h);
          const outside = await page.evaluate(() => [...document.querySelectorAll('canvas, #keys button')]
            .map((e) => e.getBoundingClientRect())
            .filter((r) => r.top < 0 || r.left < 0 || r.bottom > innerHeight || r.right > innerWidth).length);
          assert.equal(outside, 0, way);
          if (shots) await page.screenshot(join(shots, `page-${engine_name}-phone-${way}.png`));
        }
        await page.close();
      }
    } finally {
      if (phone !== engine) await phone.close();
    }
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
    await wait_for('the page to wait', async () => (await state(page)) === 'hidden');
    const from = await drawn_count(page);
    const [held] = await drawn(page, from - 1);
    const at_hide = await ticks(page);
    await sleep(500);
    assert.equal(await ticks(page), at_hide, 'it ticked while hidden');
    assert.equal(await slot_shown(page), held);
    // Shown again: the next picture is the next slot (the page's own
    // record: at the start-up pace the canvas moves on faster than it can
    // be read from outside on a busy machine).
    await set_hidden(false);
    const [next] = await wait_for('a frame after', async () => {
      const now = await drawn(page, from);
      return now.length > 0 ? now : undefined;
    });
    assert.equal(next, slot_after(held, 1));
    assert.equal(await state(page), 'running');
    await page.close();
  });

  test('a double-click ends it', async () => {
    const page = await running();
    const box = await canvas_box(page);
    await page.click(box.x + 300, box.y + 300, 2);
    await ended(page);
    await page.close();
  });

  test('every way start-up can fail shows one clear line instead of the canvas, and another script\'s error is not the viewer\'s', async () => {
    // The page as such a browser sees it: a copy that changes the API
    // before anything else runs, and records each state and line the page
    // passes through.
    const dir = mkdtempSync(join(tmpdir(), 'vormo-page-'));
    const page_text = readFileSync(page_path, 'utf8');
    copyFileSync(join(dirname(page_path), 'vormo-kidney.js'), join(dir, 'vormo-kidney.js'));
    const record = `window.passed = [];
      new MutationObserver((records) => {
        for (const r of records) {
          if (r.attributeName === 'data-viewer') passed.push(r.oldValue);
          else if (r.target.id === 'line') for (const n of r.addedNodes) passed.push(n.textContent);
        }
      }).observe(document.documentElement, { attributes: true, attributeOldValue: true, childList: true, subtree: true });`;
    const second_frame_fails = `const real = window.createImageBitmap.bind(window);
      let made = 0;
      window.createImageBitmap = (...a) => (++made === 2 ? Promise.reject(new Error('a frame for the test')) : real(...a));`;
    try {
      const foreign = `setTimeout(() => { throw new Error('a foreign fault'); });
        setTimeout(() => Promise.reject(new Error('a foreign rejection')));`;
      for (const [name, change, said, options] of [
        ['no WebAssembly', 'delete window.WebAssembly;', /no WebAssembly/],
        ['no createImageBitmap', 'delete window.createImageBitmap;', /no createImageBitmap/],
        ['a frame that fails', second_frame_fails, /Image\d+: .*the browser said: a frame for the test/],
        ['instantiation throws', "WebAssembly.instantiate = () => { throw new Error('an instantiation for the test'); };",
          /could not start: an instantiation for the test/],
        // (From a file, Firefox hides the error's text from the page.)
        ['the program throws early', 'delete window.MessageChannel;', /could not start: .*(MessageChannel|stopped as it began)/],
        ['scripts off', '', /needs JavaScript, which is off/, { scripts: false }],
        ['a foreign error', foreign, null],
      ]) {
        if (options && engine_name !== 'chromium') continue;  // (Chromium's automation turns scripts off)
        const copy = join(dir, `${name.replaceAll(' ', '-')}.html`);
        writeFileSync(copy, page_text.replace('<head>', `<head><script>${record}${change}</script>`));
        const page = await engine.open(pathToFileURL(copy).href, options);
        const shown = () => page.evaluate(() => [document.querySelector('canvas').getClientRects().length > 0, document.body.innerText]);
        if (said === null) {
          // The viewer goes on.
          await wait_for('the run', async () => (await ticks(page)) > 30);
          await sleep(300);
          assert.equal(await state(page), 'running', name);
          assert.equal((await shown())[0], true, name);
        } else {
          const [canvas, text] = await wait_for(`the line for ${name}`, async () => {
            const now = await shown();
            return now[0] ? undefined : now;
          });
          assert.equal(canvas, false, name);
          assert.match(text, said, name);
          if (options) assert.ok(!text.includes(caption), `${name}: more than the line`);
          const passed = options ? [] : await page.evaluate(() => window.passed);
          assert.equal(passed.filter((s) => /ended/.test(s)).length, 0, `${name}: the end came before the failure`);
        }
        await page.close();
      }
    } finally {
      rmSync(dir, { recursive: true });
    }
  });

  test('a failure after start-up stops it with one line that says so', async () => {
    const page = await running();
    // A fault in the viewer's own work (from a script of the page, not
    // one the automation runs, whose errors the browser keeps apart).
    await page.evaluate(() => {
      const script = document.createElement('script');
      script.textContent = "Module.vormo.show = () => { throw new Error('a fault for the test'); };";
      document.head.append(script);
    });
    await wait_for('the failure', async () => (await state(page)) === 'failed');
    const text = await page.evaluate(() => document.getElementById('line').textContent);
    assert.match(text, /stopped.*a fault for the test/);
    assert.doesNotMatch(text, /could not start/);
    const at_failure = await ticks(page);
    await sleep(300);
    assert.equal(await ticks(page), at_failure, 'it still ticks');
    await page.close();
  });
});
