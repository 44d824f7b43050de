// What a key press types for the viewer, as a plain function of the
// keyboard event: its character's code point, ESC for Escape, or null when
// the key is not the viewer's to take.  Named keys (arrows, F1, Shift...)
// and combinations with Ctrl, Alt or Meta stay the browser's, except
// AltGr: Windows reports it as Ctrl+Alt, and the characters it types (on
// several European layouts) are typed characters like any other.

/* exported vormoTypedCode */
const vormoTypedCode = (e, escape) => {
  const altGraph = typeof e.getModifierState === 'function' && e.getModifierState('AltGraph');
  if (!altGraph && (e.ctrlKey || e.altKey || e.metaKey)) return null;
  if (e.key === 'Escape') return escape;
  if ([...e.key].length === 1) return e.key.codePointAt(0);
  return null;
};
