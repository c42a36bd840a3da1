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
    case KEY_SIGNAL:
        reference.signal = value;
        refresh_signal_mark(pin);
        break;
    case KEY_INV:
        reference.inverted = value;
        refresh_inversion_mark(pin);  // equal now: the mark goes
        break;
    case KEY_IOTYPE:
        reference.io = value;
        refresh_io_mark(pin);
        break;
    case KEY_TRIGGER:
        reference.trigger = value;
        refresh_trigger_mark(pin);
        break;
    default: break;
    }
}

void load_key_value(const ConfigKey& record, const char* value) {
    const int number = config_integer_value(value);
    const int pin = record.pin;
    switch (record.kind) {
    case KEY_CARNUMBER:
        vehicle_number = number;
        select_vehicle(0, number, false);
        return;
    case KEY_CANLEVEL:
        // The text as it stands (the field's rule runs on it); the level is its value.
        set_can_level_text(value);
        device_can_level = number;
        mark_can_level_field(false);
        return;
    default: break;
    }
    if (pin < 0 || pin >= PIN_COUNT) return;
    // The reference first, so the handlers that run on the new choice mark against it.
    PinReference& reference = pin_references[pin];
    switch (record.kind) {
    case KEY_SIGNAL:
        reference.signal = number;
        set_row_signal(pin, number);
        refresh_signal_mark(pin);
        break;
    case KEY_INV:
        // The box has two states; any other number would keep it red for ever.
        reference.inverted = number != 0 ? 1 : 0;
        set_row_inverted(pin, number != 0);
        refresh_inversion_mark(pin);  // equal now: the mark goes
        break;
    case KEY_IOTYPE:
        reference.io = number;
        set_row_io(pin, number);
        refresh_io_mark(pin);
        break;
    case KEY_TRIGGER:
        reference.trigger = number;
        set_row_trigger(pin, number);
        refresh_trigger_mark(pin);
        break;
    default: break;
    }
}
