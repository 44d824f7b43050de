// The page's side of the viewer: the canvas, the pictures the browser
// decodes, the input queued for the next event pass, the yield to the
// browser, and the end.  The program calls these through page.cpp.

Module.vormo = (() => {
  let kind = null;  // the kinds of input the program takes, from open()
  const events = [];
  const pictures = [];
  const decodes = [];  // each frame's decode the browser was asked for: its picture or its error
  const listeners = [];
  let context = null;  // the canvas's, made for the first picture shown (surface)
  let failed = false;
  let decodeError = '';  // the browser's reason, when it could not decode a frame
  let ticks = 0;  // frames shown
  const tap_distance = 10;  // CSS pixels a tap may wander
  const double_tap_ms = 500;  // the longest pause in a double tap ...
  const double_tap_distance = 30;  // ... and the farthest its taps may be apart
  const touch_mouse_ms = 1000;  // how long after a touch a mouse event at its place is the touch's
  // With "?record" in its address the page keeps the number of every
  // picture it shows, for its tests: no automation from outside keeps up
  // with the fast paces.
  const shown = new URLSearchParams(location.search).has('record') ? [] : null;

  // Where the viewer is, for the page's tests and style sheets: starting,
  // running, hidden (waiting to be shown again), ended or failed.
  const state = (now) => {
    document.documentElement.dataset.viewer = now;
  };
  state('starting');

  // A message posted to oneself comes back at once: unlike a timer, the
  // browser does not hold it back by 4 ms.
  const channel = new MessageChannel();
  let wake = null;
  channel.port1.onmessage = () => {
    const resume = wake;
    wake = null;
    if (!failed) resume();
  };
  // After a failure the program is held where it waits, for good.
  const held = () => new Promise(() => {});

  const listen = (target, type, handler, options) => {
    target.addEventListener(type, handler, options);
    listeners.push({ target, type, handler, options });
  };

  const line = (text) => {
    const p = document.getElementById('line');
    p.textContent = text;
    p.hidden = false;
  };

  const stopListening = () => {
    for (const l of listeners) l.target.removeEventListener(l.type, l.handler, l.options);
    listeners.length = 0;
    events.length = 0;
  };

  // The pictures, and those still being decoded once they are.
  const release = () => {
    for (const picture of pictures) {
      if (picture) picture.close();
    }
    pictures.length = 0;
    for (const decoding of decodes) {
      if (decoding) decoding.then(({ picture }) => picture && picture.close());
    }
    decodes.length = 0;
  };

  // The viewer has failed: the canvas gives way to one line that says why,
  // and nothing is kept.
  const stop = (text) => {
    failed = true;
    state('failed');
    Module.canvas.hidden = true;
    line(text);
    release();
  };

  // A failure the program cannot report itself (an exception where it
  // resumes after a yield, a trap): nothing more is taken or shown, and
  // one line says what happened.
  const failure = (what) => {
    if (failed) return;
    stopListening();
    stop((ticks > 0 ? 'The viewer stopped: ' : 'The viewer could not start: ') + what);
  };
  const reason = (x) => (x && x.message) || String(x);

  // The canvas's drawing context, made when the first picture is shown:
  // made before that picture is decoded, it holds the decode up (some 4 ms
  // of the first frame's time in Chromium).
  const surface = () => {
    if (!context) context = Module.canvas.getContext('2d', { alpha: false });
    return context;
  };

  // The pointer in the canvas's own pixels, whatever its size on the page.
  const pixel = (e) => {
    const canvas = Module.canvas;
    const r = canvas.getBoundingClientRect();
    return {
      x: Math.floor((e.clientX - r.left) * canvas.width / r.width),
      y: Math.floor((e.clientY - r.top) * canvas.height / r.height),
    };
  };

  // Typed characters (see keys.js).  While the page runs, the browser
  // does nothing of its own with them: no scrolling on the blank, no
  // quick find after "'" or "/" (Firefox).  On a touch screen the page's
  // buttons are the keyboard: each types its key's character.
  const listenForKeys = (escape) => {
    listen(window, 'keydown', (e) => {
      const code = vormoTypedCode(e, escape);
      if (code === null) return;
      e.preventDefault();
      events.push({ kind: kind.character, code });
    });
    for (const button of document.querySelectorAll('#keys button')) {
      const code = vormoTypedCode({ key: button.dataset.key }, escape);
      listen(button, 'click', () => events.push({ kind: kind.character, code }));
    }
  };

  // Moves from pointer events (mouse, pen, touch), as they come where
  // the browser hands them over before the next display frame
  // (pointerrawupdate), never both kinds, in canvas pixels.  While the
  // button is held the canvas keeps the pointer, so moves beyond its
  // left or top edge give negative positions.  Only the primary pointer
  // moves the viewer (not a second finger).  The program drops a move to
  // the pixel it was last told of (fractional coordinates, moves without
  // movement), except after the pointer left.
  const listenForMoves = (canvas) => {
    const raw = 'onpointerrawupdate' in window;
    listen(canvas, raw ? 'pointerrawupdate' : 'pointermove', (e) => {
      if (!e.isPrimary) return;
      const p = pixel(e);
      events.push({ kind: kind.move, x: p.x, y: p.y });
    });
    listen(canvas, 'pointerleave', (e) => {
      if (!canvas.hasPointerCapture(e.pointerId)) events.push({ kind: kind.leave });
    });
    listen(canvas, 'pointerdown', (e) => {
      canvas.focus();
      if (e.button === 0) canvas.setPointerCapture(e.pointerId);
    });
  };

  // Touch, from pointer events.  Where a finger lands is queued as such
  // (it sets where its movement is measured from, and steps nothing).  A
  // tap, counted here as a click, is a touch that never left a few pixels
  // around where it landed (the browsers do not all count a double tap as
  // a double-click: Firefox reports two first clicks); a second tap soon
  // after and near the first is the double-click, no click.  Only the
  // first finger counts.  Returns whether a mouse event comes from a touch:
  // browsers may follow a tap with mouse events of their own, at the
  // tap's place, which are no second click.
  const listenForTouch = (canvas) => {
    let touch = null;
    let last_tap = null;
    let ended = null;  // where and when the last touch ended
    const near = (a, b, distance) => Math.hypot(a.clientX - b.clientX, a.clientY - b.clientY) <= distance;
    const is_touch = (e) => e.pointerType === 'touch' && e.isPrimary;
    listen(canvas, 'pointerdown', (e) => {
      if (!is_touch(e)) return;
      e.preventDefault();
      const second = last_tap !== null && e.timeStamp - last_tap.timeStamp <= double_tap_ms &&
        near(e, last_tap, double_tap_distance);
      touch = { pointerId: e.pointerId, clientX: e.clientX, clientY: e.clientY, second, wandered: false };
      last_tap = null;
      const p = pixel(e);
      events.push({ kind: kind.land, x: p.x, y: p.y });
    });
    listen(canvas, 'pointermove', (e) => {
      if (!touch || e.pointerId !== touch.pointerId) return;
      const all = typeof e.getCoalescedEvents === 'function' ? e.getCoalescedEvents() : [];
      if (![e, ...all].every((m) => near(m, touch, tap_distance))) touch.wandered = true;
    });
    listen(canvas, 'pointerup', (e) => {
      if (!touch || e.pointerId !== touch.pointerId) return;
      if (!touch.wandered && near(e, touch, tap_distance)) {
        events.push({ kind: touch.second ? kind.doubleClick : kind.click });
        if (!touch.second) last_tap = { clientX: e.clientX, clientY: e.clientY, timeStamp: e.timeStamp };
      }
      touch = null;
      ended = { clientX: e.clientX, clientY: e.clientY, time: performance.now() };
    });
    listen(canvas, 'pointercancel', (e) => {
      if (touch && e.pointerId === touch.pointerId) touch = null;
    });
    return (e) => touch !== null || (e.sourceCapabilities && e.sourceCapabilities.firesTouchEvents) ||
      (ended !== null && performance.now() - ended.time <= touch_mouse_ms && near(e, ended, tap_distance));
  };

  // The left button from mouse events, with the browser's count of a
  // press in a run of quick presses; the program tells clicks and
  // double-clicks from them.
  const listenForClicks = (canvas, from_touch) => {
    listen(canvas, 'mousedown', (e) => {
      if (e.button === 0 && !from_touch(e)) events.push({ kind: kind.press, code: e.detail });
    });
    listen(canvas, 'mouseup', (e) => {
      if (e.button === 0 && !from_touch(e)) events.push({ kind: kind.release });
    });
    listen(canvas, 'contextmenu', (e) => e.preventDefault());
    listen(canvas, 'dblclick', (e) => e.preventDefault());
  };

  return {
    events,

    open(escape, kinds) {
      state('running');
      kind = kinds;
      listenForKeys(escape);
      listenForMoves(Module.canvas);
      listenForClicks(Module.canvas, listenForTouch(Module.canvas));
    },

    // The browser starts decoding a frame, beside the others it was asked
    // for (it decodes off the page's thread). The bytes are a view of the
    // program's memory, which the Blob copies as it is made.
    expect(bytes, holder) {
      decodes[holder] = createImageBitmap(new Blob([bytes], { type: 'image/jpeg' }))
        .then((picture) => ({ picture }), (error) => ({ error }));
    },

    // The frame's picture, once the browser has decoded it: 0, or 1 when it
    // could not, 2 when it decoded to another size.
    async decode(bytes, holder) {
      if (!decodes[holder]) this.expect(bytes, holder);
      const { picture, error } = await decodes[holder];
      delete decodes[holder];
      if (failed) {
        if (picture) picture.close();
        return held();
      }
      if (error) {
        decodeError = reason(error);
        return 1;
      }
      if (picture.width !== Module.canvas.width || picture.height !== Module.canvas.height) {
        picture.close();
        return 2;
      }
      pictures[holder] = picture;
      return 0;
    },

    show(holder) {
      surface().drawImage(pictures[holder], 0, 0);
      if (ticks++ === 0) {
        performance.mark('vormo-first-frame');
        // The canvas takes the keyboard's focus once it has a picture:
        // focusing lays the page out at once, which before the first
        // decode would hold it up (some 7 ms in Firefox).
        Module.canvas.focus({ preventScroll: true, focusVisible: false });
      }
      if (shown) shown.push(holder);
    },

    clear() {
      const c = surface();
      c.fillStyle = '#000';
      c.fillRect(0, 0, Module.canvas.width, Module.canvas.height);
    },

    // Lets the browser deliver what is queued, once; a hidden page waits
    // until it is shown again.  After a failure the program is held here
    // for good: nothing more ticks.
    yield() {
      if (failed) return held();
      return new Promise((resolve) => {
        const go = () => {
          wake = resolve;
          channel.port2.postMessage(0);
        };
        if (!document.hidden) {
          go();
          return;
        }
        state('hidden');
        const visible = () => {
          if (document.hidden || failed) return;
          document.removeEventListener('visibilitychange', visible);
          state('running');
          go();
        };
        document.addEventListener('visibilitychange', visible);
      });
    },

    // The program's own report of why it cannot go on, with the browser's
    // reason where a frame did not decode.
    fail(text) {
      stop(decodeError ? `${text} (the browser said: ${decodeError})` : text);
    },

    // The program has ended: no more listening, nothing held.  An
    // installed page's window has no reload of its own: the line offers one.
    end() {
      stopListening();
      release();
      channel.port1.close();
      if (failed) return;
      state('ended');
      if (!matchMedia('(display-mode: standalone)').matches) {
        line('The viewer has ended. Reload the page to start it again.');
        return;
      }
      line('The viewer has ended.');
      const again = document.createElement('button');
      again.type = 'button';
      again.textContent = 'Start again';
      again.addEventListener('click', () => location.reload());
      document.getElementById('line').append(again);
    },

    // The runtime gave up (a trap, running out of memory).
    abort(what) {
      failure(reason(what));
    },

    get ticks() {
      return ticks;
    },

    // The pictures shown since the page opened, when it records them.
    get shown() {
      return shown;
    },
  };
})();

Module.onAbort = (what) => Module.vormo.abort(what);

// The WebAssembly is inlined in this script as a data: address (one file
// that also opens from disk).  The runtime would fetch that address, which
// browsers decode through their network stack, some 30 ms before the first
// frame; decoded here it takes a few.  The address is the runtime's own
// variable, not part of its interface: a runtime without it is a failure
// that says so.  The runtime would only log a failure here.
Module.instantiateWasm = (imports, received) => {
  try {
    const address = typeof wasmBinaryFile === 'string' && wasmBinaryFile.startsWith('data:') ? wasmBinaryFile : null;
    if (!address) throw new Error('its runtime keeps the WebAssembly where the page does not look for it');
    const base64 = address.slice(address.indexOf(',') + 1);
    let bytes;
    if (typeof Uint8Array.fromBase64 === 'function') {
      bytes = Uint8Array.fromBase64(base64);
    } else {
      const text = atob(base64);
      bytes = new Uint8Array(text.length);
      for (let i = 0; i < text.length; ++i) bytes[i] = text.charCodeAt(i);
    }
    WebAssembly.instantiate(bytes, imports).then(
      (result) => received(result.instance, result.module),
      (e) => Module.vormo.abort(e));
  } catch (e) {
    Module.vormo.abort(e);
  }
  return {};
};
