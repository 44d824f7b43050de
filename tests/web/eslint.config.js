// ESLint's recommended rules for the project's JavaScript: the page's own
// scripts (run inside the program's generated script), its service worker,
// and the page's tests and figures (Node modules that also run functions in
// the page).
import js from '@eslint/js';
import globals from 'globals';

export default [
  js.configs.recommended,
  {
    files: ['platform/web/*.js'],
    languageOptions: { sourceType: 'script', globals: { ...globals.browser, Module: 'writable' } },
  },
  {
    // The service worker's template is JavaScript as it stands.
    files: ['platform/web/service-worker.js.in'],
    languageOptions: { sourceType: 'script', globals: globals.serviceworker },
  },
  {
    // The generated script's own names, and keys.js's, which comes first.
    files: ['platform/web/page.js'],
    languageOptions: { globals: { wasmBinaryFile: 'readonly', vormoTypedCode: 'readonly' } },
  },
  {
    files: ['tests/web/*.mjs', 'bench/*.mjs'],
    languageOptions: { globals: { ...globals.node, ...globals.browser, Module: 'readonly' } },
  },
];
