// The pin function editor's rules: row shape per signal and view, I/O carry-over,
// wire colours.
#include "config/pin_rules.h"

#include "i18n/message_ids.h"

const PinWire PIN_WIRES[PIN_COUNT] = {
    {MSG_WIRE_J1_3, 0xC56C40, 0xC56C40},  // J1-3 orange
    {MSG_WIRE_J1_4, 0xBEA107, 0xBEA107},  // J1-4 yellow
    {MSG_WIRE_J2_2, 0x4F3832, 0x4F3832},  // J2-2 brown
    {MSG_WIRE_J2_3, 0xF7FFFF, 0xF7FFFF},  // J2-3 white
    {MSG_WIRE_J2_4, 0x694CA0, 0x694CA0},  // J2-4 violet
    {MSG_WIRE_J2_5, 0x694CA0, 0x0F1521},  // J2-5 violet/black
    {MSG_WIRE_J2_6, 0x4E93EE, 0x4E93EE},  // J2-6 blue
    {MSG_WIRE_J2_7, 0x177B47, 0x177B47},  // J2-7 green
    {MSG_WIRE_J2_8, 0x177B47, 0x0F1521},  // J2-8 green/black
    {MSG_WIRE_J2_9, 0xCB82BA, 0xCB82BA},  // J2-9 pink
    {MSG_WIRE_J2_10, 0x707070, 0x707070},  // J2-10 grey
    {MSG_WIRE_J2_11, 0x707070, 0x000000},  // J2-11 grey/black
    {MSG_WIRE_J2_12, 0xE4F3FF, 0x000000},  // J2-12 white/black
};

bool list_position_valid(int position, int count) { return position >= 0 && position < count; }

PinRowShape pin_row_shape(int pin, int signal, bool advanced) {
    PinRowShape shape;
    if (pin < 0 || pin >= PIN_COUNT) return shape;
    if (signal == 0 || !list_position_valid(signal, signal_count(pin))) return shape;
    shape.has_signal = true;
    shape.role = signal_is_input(pin, signal) ? ROLE_INPUT : ROLE_OUTPUT;
    shape.inversion_visible = advanced;
    shape.io_visible = true;
    shape.io_sensitive = pin_has_io_bits(pin);
    shape.io_count = io_list_count(pin, shape.role, advanced);
    shape.trigger_visible = advanced && shape.role == ROLE_OUTPUT;
    return shape;
}

int io_position_after_signal_change(int pin, PinRole role, int previous, int io_count) {
    if (role == ROLE_OUTPUT && pin >= PIN_J2_2 && list_position_valid(previous, io_count)) return previous;
    return 0;
}
