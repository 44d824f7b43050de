// The few things the page's tests and figures do with a browser, the same
// in every engine: Chromium and Firefox through puppeteer-core (the
// DevTools protocol and WebDriver BiDi), WebKit through WebKitGTK's
// WebDriver, which speaks only classic WebDriver and needs a display: it
// gets an Xvfb of its own.
//
//   const engine = await launch('chromium' | 'firefox' | 'webkit', { coarse });
//   const tab = await engine.open(url, { width, height, scale, touch, scripts });
//   await tab.evaluate((arg) => ..., arg);  await tab.key('*');  ...
//
// When the browser itself dies (not a test's failure), the driver says so
// on stderr and writes the reason to the file VORMO_CRASH_MARK names, so
// that the run can be told apart from a failed one.

import { spawn } from 'node:child_process';
import { existsSync, readFileSync, statSync, writeFileSync } from 'node:fs';
import { createServer } from 'node:http';
import { extname, join, resolve } from 'node:path';
import { once } from 'node:events';

export const engines = ['chromium', 'firefox', 'webkit'];
const names = { chromium: 'Chromium', firefox: 'Firefox', webkit: 'WebKit' };
const startup_limit = 60000;  // bounds a browser that never comes up

export const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// Asks condition() until it gives something other than null, undefined or
// false, and returns that; after limit_ms it gives up, saying what it waited
// for.  A pause between the asks keeps the asking from loading the page.
export async function wait_until(what, condition, limit_ms, pause_ms = 0) {
  const end = Date.now() + limit_ms;
  for (;;) {
    const value = await condition();
    if (value != null && value !== false) return value;
    if (Date.now() > end) throw new Error(`gave up waiting for ${what}`);
    if (pause_ms > 0) await sleep(pause_ms);
  }
}

export class EngineCrashed extends Error {}

function crashed(engine, why) {
  const text = `${names[engine]} crashed: ${why}`;
  console.error(text);
  if (process.env.VORMO_CRASH_MARK) writeFileSync(process.env.VORMO_CRASH_MARK, `${text}\n`);
  return new EngineCrashed(text);
}

// With coarse, the engine's primary pointer is coarse, as a phone's is
// (Chromium's is wherever a tab has touch).
export async function launch(engine, { coarse = false } = {}) {
  if (engine === 'webkit') return launch_webkit();
  if (engine === 'chromium' || engine === 'firefox') return launch_puppeteer(engine, coarse);
  throw new Error(`no such engine: ${engine} (one of ${engines.join(', ')})`);
}

// What the tests and the figures read of the viewer's page in a tab: the
// frames it has shown, and where its canvas is in the viewport.
export const ticks = (tab) => tab.evaluate(() => Module.vormo.ticks);
export const canvas_box = (tab) =>
  tab.evaluate(() => {
    const r = document.querySelector('canvas').getBoundingClientRect();
    return { x: r.x, y: r.y, width: r.width, height: r.height };
  });

// --- Chromium and Firefox ---------------------------------------------------

// Headless Chromium still builds the address bar's popup, a page of its
// own, for every new window (each tab opened below is in a window of its
// own): a renderer that loads some hundred scripts just as the page under
// test starts, which no user's page meets (their window has it already).
const chromium_args = ['--no-sandbox', '--disable-features=WebUIOmniboxPopup,WebUIOmniboxAimPopup'];

async function launch_puppeteer(engine, coarse) {
  const { default: puppeteer } = await import('puppeteer-core');
  const browser = await puppeteer.launch(
    engine === 'chromium'
      ? { browser: 'chrome', executablePath: '/usr/bin/chromium', args: chromium_args, timeout: startup_limit }
      : {
        browser: 'firefox', executablePath: '/usr/bin/firefox-esr', timeout: startup_limit,
        extraPrefsFirefox: coarse ? { 'ui.primaryPointerCapabilities': 1 } : {},
      });
  let closing = false;
  let lost = null;
  browser.on('disconnected', () => {
    if (!closing) lost = crashed(engine, 'the browser went away');
  });
  const button = (b) => (b === 2 || b === 'right' ? 'right' : 'left');

  return {
    name: names[engine],
    // Firefox takes a device pixel ratio but moves the pointer in whole
    // CSS pixels.
    can: { touch: true, device_scale: true, fractional_moves: engine === 'chromium', second_button: true },

    async open(url, { width = 1280, height = 900, scale = 1, touch = false, scripts = true } = {}) {
      const context = await browser.createBrowserContext();
      const page = await context.newPage();
      page.on('error', () => {
        lost = crashed(engine, 'the page crashed');
      });
      await page.setViewport({ width, height, deviceScaleFactor: scale, hasTouch: touch });
      if (!scripts) await page.setJavaScriptEnabled(false);
      await page.goto(url);
      const guard = async (work) => {
        if (lost) throw lost;
        try {
          return await work();
        } catch (e) {
          throw lost ?? e;
        }
      };
      return {
        evaluate: (fn, arg) => guard(() => page.evaluate(fn, arg)),
        key: (k) => guard(() => page.keyboard.press(k)),
        move: (x, y) => guard(() => page.mouse.move(x, y)),
        down: (b) => guard(() => page.mouse.down({ button: button(b) })),
        up: (b) => guard(() => page.mouse.up({ button: button(b) })),
        click: (x, y, count = 1) => guard(() => page.mouse.click(x, y, { count })),
        tap: (x, y) => guard(() => page.touchscreen.tap(x, y)),
        touch_start: (x, y) => guard(() => page.touchscreen.touchStart(x, y)),
        touch_move: (x, y) => guard(() => page.touchscreen.touchMove(x, y)),
        touch_end: () => guard(() => page.touchscreen.touchEnd()),
        async resize(w, h) {
          await guard(() => page.setViewport({ width: w, height: h, deviceScaleFactor: scale, hasTouch: touch }));
          return [w, h];
        },
        screenshot: (path) => guard(() => page.screenshot({ path })),
        reload: () => guard(() => page.reload()),
        // A DevTools protocol command (Chromium).
        devtools: (method, params) => guard(async () => (await page.createCDPSession()).send(method, params)),
        close: () => guard(() => context.close()),
      };
    },

    async close() {
      closing = true;
      await browser.close();
    },
  };
}

// --- WebKit -----------------------------------------------------------------

const minibrowser = '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser';

// A child process that is killed with this one.
function child(command, args, options) {
  const p = spawn(command, args, { stdio: ['ignore', 'ignore', 'pipe'], ...options });
  let err = '';
  p.stderr.on('data', (d) => {
    err = (err + d).slice(-2000);
  });
  const kill = () => p.kill('SIGKILL');
  process.on('exit', kill);
  return { process: p, stderr: () => err, stop: () => { process.off('exit', kill); kill(); } };
}

// An X server of the run's own; its display number comes back on a pipe.
async function xvfb() {
  const server = spawn('Xvfb', ['-displayfd', '3', '-screen', '0', '1920x1200x24', '-nolisten', 'tcp'],
    { stdio: ['ignore', 'ignore', 'ignore', 'pipe'] });
  const kill = () => server.kill('SIGKILL');
  process.on('exit', kill);
  let text = '';
  const number = await Promise.race([
    new Promise((ok) => server.stdio[3].on('data', (d) => {
      text += d;
      if (text.includes('\n')) ok(text.trim());
    })),
    once(server, 'exit').then(() => { throw new Error('Xvfb did not start'); }),
    sleep(startup_limit).then(() => { throw new Error('Xvfb did not start in time'); }),
  ]);
  return { display: `:${number}`, stop: () => { process.off('exit', kill); kill(); } };
}

async function free_port() {
  const server = createServer();
  server.listen(0, '127.0.0.1');
  await once(server, 'listening');
  const { port } = server.address();
  server.close();
  return port;
}

const key_values = { Escape: '\uE00C', Enter: '\uE007' };

async function launch_webkit() {
  if (!existsSync(minibrowser)) throw new Error(`WebKit's MiniBrowser is not installed (${minibrowser})`);
  const x = await xvfb();
  const port = await free_port();
  const driver = child('WebKitWebDriver', [`--port=${port}`], { env: { ...process.env, DISPLAY: x.display } });
  const base = `http://127.0.0.1:${port}`;

  // One WebDriver command; an engine that has gone away is a crash.
  let session = '';
  async function command(method, path, body, limit = startup_limit) {
    let response;
    try {
      response = await fetch(`${base}${path.replace('$', `/session/${session}`)}`, {
        method,
        headers: { 'content-type': 'application/json' },
        body: body === undefined ? undefined : JSON.stringify(body),
        signal: AbortSignal.timeout(limit),
      });
    } catch (e) {
      if (driver.process.exitCode !== null) throw crashed('webkit', `its WebDriver ended (${driver.stderr().trim()})`);
      throw e.name === 'TimeoutError' ? new Error(`WebKit did not answer ${method} ${path} in time`) : e;
    }
    const { value } = await response.json();
    if (response.ok) return value;
    const what = `${value.error}: ${value.message}`;
    if (/invalid session|crash|terminated|no such window/i.test(what)) throw crashed('webkit', what);
    throw new Error(`WebKit: ${what}`);
  }

  const ready = async () => {
    try {
      return (await command('GET', '/status', undefined, 1000)).ready;
    } catch {
      return false;  // not listening yet
    }
  };
  await wait_until('WebKit\'s WebDriver to start', ready, startup_limit, 50);
  // Creating a session hangs, rather than failing, when the browser
  // cannot come up: the limit bounds it.
  ({ sessionId: session } = await command('POST', '/session', {
    capabilities: {
      alwaysMatch: {
        browserName: 'MiniBrowser',
        'webkitgtk:browserOptions': { binary: minibrowser, args: ['--automation'] },
      },
    },
  }));
  await command('POST', '$/timeouts', { script: startup_limit, pageLoad: startup_limit });

  // The window's size for a viewport of that size: the browser's own
  // frame around the page is measured, not assumed.
  const evaluate = (fn, arg) =>
    command('POST', '$/execute/async', {
      script: `const done = arguments[1];
        Promise.resolve().then(() => (${fn})(arguments[0]))
          .then((value) => done({ value }), (e) => done({ error: String(e && e.stack || e) }));`,
      args: [arg === undefined ? null : arg],
    }).then((r) => {
      if (r.error) throw new Error(r.error);
      return r.value;
    });
  // (Its window has a smallest width: the viewport's size is what it
  // got, as [width, height].)
  async function resize(width, height) {
    let got;
    for (let tries = 0; tries < 3; ++tries) {
      const [w, h] = await evaluate(() => [innerWidth, innerHeight]);
      got = [w, h];
      if (w === width && h === height) break;
      // From the window's own rectangle, and only a size it can take (it
      // once refused one computed while the window was still settling).
      const rect = await command('GET', '$/window/rect');
      const size = { width: Math.round(rect.width + width - w), height: Math.round(rect.height + height - h) };
      if (size.width > 0 && size.height > 0) await command('POST', '$/window/rect', size);
      else await sleep(100);
    }
    return got;
  }

  const actions = (id, type, steps, parameters) => command('POST', '$/actions', {
    actions: [{ id, type, ...(parameters ? { parameters } : {}), actions: steps }],
  });
  const mouse = (steps) => actions('mouse', 'pointer', steps, { pointerType: 'mouse' });
  const finger = (steps) => actions('finger', 'pointer', steps, { pointerType: 'touch' });
  const at = (x, y) => ({ type: 'pointerMove', origin: 'viewport', x: Math.round(x), y: Math.round(y), duration: 0 });
  const button = (b) => (b === 2 || b === 'right' ? 2 : 0);

  return {
    name: names.webkit,
    // No device pixel ratio of its choosing, whole CSS pixels only, and no
    // touch input through its WebDriver; and no second mouse button: one
    // pressed releases the first, and after one the keyboard types
    // unshifted ("8" for "*").
    can: { touch: false, device_scale: false, fractional_moves: false, second_button: false },

    async open(url, { width = 1280, height = 900 } = {}) {
      await command('DELETE', '$/actions');
      await command('POST', '$/url', { url: 'about:blank' });
      await resize(width, height);
      await command('POST', '$/url', { url });
      return {
        evaluate,
        key: (k) => {
          const value = key_values[k] ?? k;
          return actions('keys', 'key', [{ type: 'keyDown', value }, { type: 'keyUp', value }]);
        },
        move: (x, y) => mouse([at(x, y)]),
        down: (b) => mouse([{ type: 'pointerDown', button: button(b) }]),
        up: (b) => mouse([{ type: 'pointerUp', button: button(b) }]),
        click: (x, y, count = 1) =>
          mouse([at(x, y), ...Array(count).fill([{ type: 'pointerDown', button: 0 }, { type: 'pointerUp', button: 0 }]).flat()]),
        tap: (x, y) => finger([at(x, y), { type: 'pointerDown', button: 0 }, { type: 'pointerUp', button: 0 }]),
        touch_start: (x, y) => finger([at(x, y), { type: 'pointerDown', button: 0 }]),
        touch_move: (x, y) => finger([at(x, y)]),
        touch_end: () => finger([{ type: 'pointerUp', button: 0 }]),
        resize,
        async screenshot(path) {
          writeFileSync(path, Buffer.from(await command('GET', '$/screenshot'), 'base64'));
        },
        close: () => command('POST', '$/url', { url: 'about:blank' }),
      };
    },

    async close() {
      try {
        await command('DELETE', '$', undefined, 10000);
      } finally {
        driver.stop();
        x.stop();
      }
    },
  };
}

// --- A local web server -----------------------------------------------------

const types = {
  '.html': 'text/html', '.js': 'text/javascript', '.jpg': 'image/jpeg', '.png': 'image/png', '.json': 'application/json',
  '.webmanifest': 'application/manifest+json',
};

// Serves the files of the given folders (the first that has the file) on
// a port of its own; url(name) is a file's address.
export async function serve(...dirs) {
  const server = createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://x').pathname).slice(1);
    const path = dirs.map((d) => join(resolve(d), name)).find((p) => !name.includes('..') && existsSync(p) && statSync(p).isFile());
    if (!path) {
      response.writeHead(404).end();
      return;
    }
    const body = readFileSync(path);
    response.writeHead(200, {
      'content-type': types[extname(path)] ?? 'application/octet-stream',
      'content-length': body.length,
      'cache-control': 'no-store',
    });
    response.end(body);
  });
  server.listen(0, '127.0.0.1');
  await once(server, 'listening');
  const { port } = server.address();
  return {
    url: (name) => `http://127.0.0.1:${port}/${name}`,
    close: () => new Promise((r) => {
      server.close(r);
      server.closeAllConnections();
    }),
  };
}
