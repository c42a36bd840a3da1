// Key chords with modifier state: the AUTOFLASH chord and the lock modifiers.
#include "app/key_chord.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <gdk/gdkkeysyms.h>
#include <gdk/gdkx.h>

bool is_autoflash_chord(guint state, guint keyval, guint lock_modifiers) {
    const guint any_mod = (GDK_MOD1_MASK | GDK_MOD2_MASK | GDK_MOD3_MASK | GDK_MOD4_MASK) & ~lock_modifiers;
    if (!(state & GDK_CONTROL_MASK) || !(state & any_mod)) return false;
    return keyval == GDK_F || keyval == GDK_f;
}

guint lock_modifier_masks() {
    GdkDisplay* display = gdk_display_get_default();
    if (!display) return 0;
    Display* x = GDK_DISPLAY_XDISPLAY(display);
    XModifierKeymap* map = XGetModifierMapping(x);
    if (!map) return 0;
    const KeyCode num_lock = XKeysymToKeycode(x, XK_Num_Lock);
    const KeyCode caps_lock = XKeysymToKeycode(x, XK_Caps_Lock);
    guint masks = 0;
    // Rows 3 to 7 of the map are Mod1 to Mod5.
    for (int modifier = Mod1MapIndex; modifier <= Mod5MapIndex; ++modifier) {
        for (int k = 0; k < map->max_keypermod; ++k) {
            const KeyCode code = map->modifiermap[modifier * map->max_keypermod + k];
            if (code != 0 && (code == num_lock || code == caps_lock)) masks |= 1u << modifier;
        }
    }
    XFreeModifiermap(map);
    return masks;
}
