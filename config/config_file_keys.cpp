// The configuration file's key handlers, between the editor's widgets and the values.
#include "config/config_file_keys.h"

#include "config/pin_rows.h"
#include "config/vehicle_selector.h"

int editor_key_value(const ConfigKey& record) {
    const int pin = record.pin;
    switch (record.kind) {
    case KEY_CARNUMBER: return selected_vehicle_number();
    case KEY_CANLEVEL: return can_level_value();
    case KEY_SIGNAL: return row_signal(pin);
    case KEY_INV: return row_inverted(pin) ? 1 : 0;
    case KEY_IOTYPE: return row_io(pin);
    case KEY_TRIGGER: return row_trigger(pin);
    }
    return 0;
}

namespace {

void refresh_key_mark(const ConfigKey& record) {
    switch (record.kind) {
    case KEY_SIGNAL: refresh_signal_mark(record.pin); break;
    case KEY_INV: refresh_inversion_mark(record.pin); break;
    case KEY_IOTYPE: refresh_io_mark(record.pin); break;
    case KEY_TRIGGER: refresh_trigger_mark(record.pin); break;
    default: break;
    }
}

}  // namespace

void take_key_reference(const ConfigKey& record, int value) {
    const int pin = record.pin;
    switch (record.kind) {
    case KEY_CARNUMBER:
        vehicle_number = value;
        return;
    case KEY_CANLEVEL:
        device_can_level = value;
        mark_can_level_field(false);
        return;
    default: break;
    }
    if (pin < 0 || pin >= PIN_COUNT) return;
    PinReference& reference = pin_references[pin];
    switch (record.kind) {
    case KEY_SIGNAL: reference.signal = value; break;
    case KEY_INV: reference.inverted = value; break;
    case KEY_IOTYPE: reference.io = value; break;
    case KEY_TRIGGER: reference.trigger = value; break;
    default: break;
    }
    refresh_key_mark(record);  // an inversion box now equals its reference: its mark goes
}

void load_key_value(const ConfigKey& record, const char* value) {
    const int number = config_integer_value(value);
    const int pin = record.pin;
    switch (record.kind) {
    case KEY_CARNUMBER:
        take_key_reference(record, number);
        select_vehicle(0, number, false);
        return;
    case KEY_CANLEVEL:
        // The text as it stands (the field's rule runs on it); the level is its value.
        set_can_level_text(value);
        take_key_reference(record, number);
        return;
    default: break;
    }
    if (pin < 0 || pin >= PIN_COUNT) return;
    // The box has two states; any other number would keep it red for ever.
    const int choice = record.kind == KEY_INV ? (number != 0 ? 1 : 0) : number;
    // The reference first, so the handlers that run on the new choice mark against it.
    take_key_reference(record, choice);
    switch (record.kind) {
    case KEY_SIGNAL: set_row_signal(pin, choice); break;
    case KEY_INV: set_row_inverted(pin, choice != 0); break;
    case KEY_IOTYPE: set_row_io(pin, choice); break;
    case KEY_TRIGGER: set_row_trigger(pin, choice); break;
    default: break;
    }
    refresh_key_mark(record);
}
