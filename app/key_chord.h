// The main window's key chords that depend on modifier state, kept testable apart
// from the X server.
#pragma once

#include <gdk/gdk.h>

// True for the AUTOFLASH folder chord: Control with any of Mod1-Mod4 and F or f.
// `lock_modifiers` are the Mod masks the keymap binds to Num Lock or Caps Lock; they
// count as not held, so a plain Ctrl+F with Num Lock on is not the chord.
bool is_autoflash_chord(guint state, guint keyval, guint lock_modifiers);

// The Mod1-Mod5 masks that the display's keymap binds to Num_Lock or Caps_Lock; 0
// without a display.
guint lock_modifier_masks();
