// The page's side of the viewer: the canvas, the pictures the browser
// decodes, the input queued for the next event pass, the yield to the
// browser, and the end.  The program calls these through page.cpp.

Module.vormo = (() => {
  let kind = null;  // the kinds of input the program takes, from open()
  const events = [];
  const pictures = [];
  const listeners = [];
  let context = null;
  let started = false;  // the program has opened the page
  let failed = false;
  let decodeError = '';  // the browser's reason, when it could not decode a frame
  let ticks = 0;  // frames shown, for the benchmark only

  // A message posted to oneself comes back at once: unlike a timer, the
  // browser does not hold it back by 4 ms.
  const channel = new MessageChannel();
  let wake = null;
  channel.port1.onmessage = () => {
    const resume = wake;
    wake = null;
    resume();
  };

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

  // A failure the program cannot report itself (an exception where it
  // resumes after a yield, a trap): nothing more is taken or shown, and
  // one line says what happened.
  const failure = (what) => {
    if (failed) return;
    failed = true;
    stopListening();
    Module.canvas.hidden = true;
    line((started ? 'The viewer stopped: ' : 'The viewer could not start: ') + what);
  };
  const reason = (x) => (x && x.message) || String(x);
  window.addEventListener('error', (e) => failure(reason(e.error || e.message)));
  window.addEventListener('unhandledrejection', (e) => failure(reason(e.reason)));

  // The pointer in the canvas's own pixels, whatever its size on the page.
  const pixel = (e) => {
    const canvas = Module.canvas;
    const r = canvas.getBoundingClientRect();
    return {
      x: Math.floor((e.clientX - r.left) * canvas.width / r.width),
      y: Math.floor((e.clientY - r.top) * canvas.height / r.height),
    };
  };

  return {
    events,

    open(escape, kinds) {
      const canvas = Module.canvas;
      started = true;
      kind = kinds;
      context = canvas.getContext('2d', { alpha: false });

      // Typed characters (see keys.js).  While the page runs, the browser
      // does nothing of its own with them: no scrolling on the blank, no
      // quick find after "'" or "/" (Firefox).
      listen(window, 'keydown', (e) => {
        const code = vormoTypedCode(e, escape);
        if (code === null) return;
        e.preventDefault();
        events.push({ kind: kind.character, code });
      });

      // Moves from pointer events (mouse, pen, touch), as they come where
      // the browser hands them over before the next display frame
      // (pointerrawupdate), never both kinds.  While the button is held the
      // canvas keeps the pointer, so moves beyond its left or top edge give
      // negative positions.  Only the primary pointer moves the viewer (not
      // a second finger), and a move to the canvas pixel last queued is no
      // move in the viewer's units: with fractional coordinates (a device
      // pixel ratio above 1, zoom) and moves without movement (a second
      // button, pen pressure) it would count as one downwards.
      let last = null;
      const raw = 'onpointerrawupdate' in window;
      listen(canvas, raw ? 'pointerrawupdate' : 'pointermove', (e) => {
        if (!e.isPrimary) return;
        const p = pixel(e);
        if (last && last.x === p.x && last.y === p.y) return;
        last = p;
        events.push({ kind: kind.move, x: p.x, y: p.y });
      });
      listen(canvas, 'pointerleave', (e) => {
        if (!canvas.hasPointerCapture(e.pointerId)) last = null;
      });
      listen(canvas, 'pointerdown', (e) => {
        canvas.focus();
        if (e.button === 0) canvas.setPointerCapture(e.pointerId);
      });

      // Clicks from mouse events, which count them (a tap makes them too):
      // the second press of a double-click is the double-click, its
      // release no click; a release whose press was elsewhere is none.
      let pressed = false;
      listen(canvas, 'mousedown', (e) => {
        if (e.button !== 0) return;
        pressed = true;
        if (e.detail > 0 && e.detail % 2 === 0) events.push({ kind: kind.doubleClick });
      });
      listen(canvas, 'mouseup', (e) => {
        if (e.button !== 0 || !pressed) return;
        pressed = false;
        if (e.detail % 2 === 1) events.push({ kind: kind.click });
      });
      listen(canvas, 'contextmenu', (e) => e.preventDefault());
      listen(canvas, 'dblclick', (e) => e.preventDefault());
      canvas.focus();
    },

    async decode(bytes, holder) {
      try {
        const picture = await createImageBitmap(new Blob([bytes], { type: 'image/jpeg' }));
        if (picture.width !== Module.canvas.width || picture.height !== Module.canvas.height) {
          picture.close();
          return 2;
        }
        pictures[holder] = picture;
        return 0;
      } catch (e) {
        decodeError = reason(e);
        return 1;
      }
    },

    show(holder) {
      context.drawImage(pictures[holder], 0, 0);
      if (ticks++ === 0) performance.mark('vormo-first-frame');
    },

    clear() {
      context.fillStyle = '#000';
      context.fillRect(0, 0, Module.canvas.width, Module.canvas.height);
    },

    // Lets the browser deliver what is queued, once; a hidden page waits
    // until it is shown again.  After a failure the program is held here
    // for good: nothing more ticks.
    yield() {
      if (failed) return new Promise(() => {});
      return new Promise((resolve) => {
        const go = () => {
          wake = resolve;
          channel.port2.postMessage(0);
        };
        if (!document.hidden) {
          go();
          return;
        }
        const shown = () => {
          if (document.hidden) return;
          document.removeEventListener('visibilitychange', shown);
          go();
        };
        document.addEventListener('visibilitychange', shown);
      });
    },

    // The program's own report of why it cannot go on, with the browser's
    // reason where a frame did not decode.
    fail(text) {
      failed = true;
      Module.canvas.hidden = true;
      line(decodeError ? `${text} (the browser said: ${decodeError})` : text);
    },

    // The program has ended: no more listening, nothing held.
    end() {
      stopListening();
      for (const picture of pictures) {
        if (picture) picture.close();
      }
      channel.port1.close();
      if (!failed) line('The viewer has ended. Reload the page to start it again.');
    },

    // The runtime gave up (a trap, running out of memory).
    abort(what) {
      failure(reason(what));
    },

    get ticks() {
      return ticks;
    },
  };
})();

Module.onAbort = (what) => Module.vormo.abort(what);
