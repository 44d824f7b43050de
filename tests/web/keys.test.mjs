// The page's key translation as a table, in Node: no browser needed.
//
//   node --test tests/web/keys.test.mjs

import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { runInNewContext } from 'node:vm';

const source = readFileSync(new URL('../../platform/web/keys.js', import.meta.url), 'utf8');
const typedCode = runInNewContext(`${source}; vormoTypedCode`);
const escape = 27;

// A key press as the browser reports it; modifiers lists what
// getModifierState answers true for.
const press = (key, { ctrl = false, alt = false, meta = false, modifiers = [] } = {}) => ({
  key,
  ctrlKey: ctrl,
  altKey: alt,
  metaKey: meta,
  getModifierState: (name) => modifiers.includes(name),
});

test('keys the viewer takes, and keys it leaves to the browser', () => {
  const table = [
    [press('+'), 0x2b],
    [press(' '), 0x20],
    [press(','), 0x2c],
    [press('Escape'), escape],
    [press('a'), 0x61],
    [press('\u{1F600}'), 0x1f600],  // one character, two UTF-16 units
    [press('ArrowUp'), null],
    [press('Shift'), null],
    [press('Dead'), null],  // a dead key types nothing yet
    [press('F5'), null],
    // Combinations are the browser's: reload, find, menus, closing the tab.
    [press('r', { ctrl: true }), null],
    [press('f', { alt: true }), null],
    [press('w', { meta: true }), null],
    [press('Escape', { ctrl: true }), null],
    [press('t', { ctrl: true, alt: true }), null],  // a real Ctrl+Alt
    // AltGr: reported as Ctrl+Alt on Windows, alone elsewhere.
    [press('@', { ctrl: true, alt: true, modifiers: ['AltGraph'] }), 0x40],
    [press('\u20AC', { modifiers: ['AltGraph'] }), 0x20ac],
    [press('/', { ctrl: true, alt: true, modifiers: ['AltGraph'] }), 0x2f],
  ];
  for (const [event, expected] of table) {
    assert.equal(typedCode(event, escape), expected, JSON.stringify(event));
  }
});

test('an event without getModifierState is read without AltGr', () => {
  assert.equal(typedCode({ key: '*', ctrlKey: false, altKey: false, metaKey: false }, escape), 0x2a);
  assert.equal(typedCode({ key: '*', ctrlKey: true, altKey: true, metaKey: false }, escape), null);
});
