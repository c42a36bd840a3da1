// The pin function editor's rules, apart from the widgets: what a pin row shows for a
// signal, where its I/O choice goes when the signal changes, and the wire colours.
// No GTK.
#pragma once

#include <cstdint>

#include "config/pin_config.h"

// What a pin row shows for a signal position in a view.
struct PinRowShape {
    bool has_signal = false;         // a signal other than "none" is chosen
    PinRole role = ROLE_OUTPUT;      // the chosen signal's role (output without a signal)
    bool inversion_visible = false;  // advanced view only
    bool io_visible = false;
    bool io_sensitive = false;       // J1-3 and J1-4 offer no choice
    int io_count = 0;                // entries of the I/O list for the role and view
    bool trigger_visible = false;    // output role in the advanced view only
};

// A position outside the pin's signal list (no choice, or a stray value from a file)
// counts as "none".
PinRowShape pin_row_shape(int pin, int signal, bool advanced);

// The I/O position after the signal changed: an output pin from J2-2 on keeps its
// previous position when the new list has it; everything else starts at 0.
int io_position_after_signal_change(int pin, PinRole role, int previous, int io_count);

// True when the position is one of a list's `count` entries.
bool list_position_valid(int position, int count);

// The wire of a pin: its label (message id) and its two colours as 0xRRGGBB.
struct PinWire {
    int label_message;
    uint32_t upper;
    uint32_t lower;
};

extern const PinWire PIN_WIRES[PIN_COUNT];

// An 8-bit colour component as the toolkit's 16-bit one (0xFF -> 0xFFFF).
constexpr uint16_t colour_component_16(uint32_t rgb, int shift) {
    return uint16_t(((rgb >> shift) & 0xFF) * 257);
}
