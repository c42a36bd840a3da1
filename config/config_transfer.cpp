// Configuration transfer between the module and the editor.
#include "config/config_transfer.h"

#include <cstring>

#include "config/config_editor.h"
#include "config/config_memory.h"
#include "config/config_write.h"
#include "config/memory_blocks.h"
#include "config/pin_rows.h"
#include "config/variant_check.h"
#include "config/vehicle_selector.h"
#include "connection/connection.h"
#include "device/module_link.h"
#include "i18n/message_ids.h"
#include "i18n/messages.h"
#include "ui/dialogs.h"

namespace {

// The editor takes no input from the start of a transfer to its end, whichever way
// it ends.
struct EditorBusy {
    EditorBusy() { set_config_editor_busy(true); }
    ~EditorBusy() { set_config_editor_busy(false); }
    EditorBusy(const EditorBusy&) = delete;
    EditorBusy& operator=(const EditorBusy&) = delete;
};

void show_pin(const ConfigImage& image, int pin) {
    PinRole role = ROLE_OUTPUT;
    const PinSetting setting = decode_image(image, pin, advanced_view, &role);
    PinReference& reference = pin_references[pin];

    reference.inverted = setting.inverted;
    set_row_inverted(pin, setting.inverted);
    reference.signal = setting.signal;
    set_row_signal(pin, setting.signal);
    if (setting.signal == 0) {
        reference.io = -1;
        reference.trigger = -1;
        reference.inverted = -1;
    } else {
        if (role == ROLE_INPUT) {
            // The trigger does not apply: its choice and reference stay as they were.
            if (pin >= PIN_J2_2) set_row_io(pin, setting.io);
        } else {
            set_row_io(pin, setting.io);
            set_row_trigger(pin, setting.trigger);
            reference.trigger = setting.trigger;
        }
        reference.io = setting.io;
    }
    refresh_row_marks(pin);
}

}  // namespace

void show_image(const ConfigImage& image) {
    for (int pin = 0; pin < PIN_COUNT; ++pin) show_pin(image, pin);
}

void read_configuration() {
    const EditorBusy busy;
    int level = 0, number = 0;
    if (!read_config_header(module_link(), &level, &number)) {
        show_message(message_text(MSG_LOAD_ERROR));
        return;
    }
    device_can_level = level;
    select_vehicle(device_can_level, number, true);

    ConfigImage image = blank_image();
    if (!read_pin_area(module_link(), &image)) {
        show_message(message_text(MSG_LOAD_ERROR));
        return;
    }
    apply_level_rule();
    show_image(image);
}

void load_default_configuration() {
    device_can_level = DEFAULT_CAN_LEVEL;
    select_vehicle(DEFAULT_CAN_LEVEL, DEFAULT_VEHICLE_NUMBER, true);
    const ConfigImage image = default_image();
    apply_level_rule();
    show_image(image);
}

void write_configuration() {
    // Without rows every pin would read as "none" and the module's configuration
    // would be wiped.
    if (!pin_rows_exist()) return;
    const int level = can_level_value();
    // The header holds level - 1 in one byte: anything else would reach the module as
    // another level.
    if (!can_level_storable(level)) {
        show_message(message_text(MSG_SAVE_ERROR));
        return;
    }
    // Declining the firmware change writes nothing, so the module keeps its level and
    // the field stays marked against it; the level goes to the module only once it
    // runs the variant the level needs.
    if (!editor_variant_ready(level)) return;
    const EditorBusy busy;
    device_can_level = level;
    apply_level_rule();

    PinSetting settings[PIN_COUNT];
    for (int pin = 0; pin < PIN_COUNT; ++pin) settings[pin] = row_setting(pin);
    ModuleConfiguration config;
    config.can_level = level;
    config.image = encode_pin_area(settings, advanced_view, pin_references);
    for (int pin = 0; pin < PIN_COUNT; ++pin) {
        run_signal_handler(pin);
        set_row_io(pin, settings[pin].io);
        refresh_row_marks(pin);
    }
    config.vehicle_number = selected_vehicle_number();
    if (!write_module_configuration(module_link(), config)) {
        show_message(message_text(MSG_SAVE_ERROR));
        return;
    }
    vehicle_number = config.vehicle_number;
}

