// Configuration transfer between the module and the editor.
#include "config/config_transfer.h"

#include <cstring>

#include "config/memory_blocks.h"
#include "config/pin_rows.h"
#include "config/vehicle_selector.h"
#include "connection/connection.h"
#include "device/link.h"
#include "device/variant_check.h"
#include "firmware/variant_change.h"
#include "i18n/messages.h"
#include "ui/dialogs.h"

namespace {

constexpr int MSG_LOAD_ERROR = 13;
constexpr int MSG_SAVE_ERROR = 38;

// One read request; the reply's bytes land in `out`. Replies with other codes are
// consumed and count as attempts.
bool read_block(int address, int count, uint8_t* out) {
    const uint8_t request[2] = {uint8_t(address), uint8_t(count)};
    send_command(COMMAND_READ_MEMORY, request, 2);
    for (int attempt = 0; attempt < READ_REPLY_ATTEMPTS; ++attempt) {
        if (!poll_frame()) continue;
        const uint8_t* bytes = memory_reply_bytes(reply_record, count);
        if (bytes) {
            std::memcpy(out, bytes, size_t(count));
            return true;
        }
    }
    return false;
}

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
    uint8_t header[HEADER_SIZE];
    if (!read_block(HEADER_ADDRESS, HEADER_SIZE, header)) {
        show_message(message_text(MSG_LOAD_ERROR));
        return;
    }
    device_can_level = header_can_level(header);
    select_vehicle(device_can_level, header_vehicle_number(header), true);

    ConfigImage image = blank_image();
    for (const MemoryBlock& block : PIN_AREA_BLOCKS) {
        if (!read_block(block.address, block.count, image.data() + block.address)) {
            show_message(message_text(MSG_LOAD_ERROR));
            return;
        }
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
    const int answer = variant_check(level);
    // Declining the firmware change writes nothing, so the module keeps its level and
    // the field stays marked against it.
    if (answer == 0) return;
    // The level goes to the module only once it runs the variant the level needs.
    if (is_variant_letter(answer) && !change_firmware_variant(char(answer))) return;
    device_can_level = level;
    apply_level_rule();

    ConfigImage image = blank_image();
    for (int pin = 0; pin < PIN_COUNT; ++pin) {
        const PinSetting setting = row_setting(pin);
        pin_references[pin] = encode_image(image, pin, setting, advanced_view);
        run_signal_handler(pin);
        set_row_io(pin, setting.io);
        refresh_row_marks(pin);
    }

    for (const MemoryBlock& block : PIN_AREA_BLOCKS)
        if (!write_block(block.address, image.data() + block.address, block.count)) return;
    drain_frames();
    const uint8_t stored_level = uint8_t(level - 1);  // level 0 wraps to 0xFF, as 256 does
    if (!write_block(LEVEL_ADDRESS, &stored_level, 1)) return;
    vehicle_number = selected_vehicle_number();
    const uint8_t number[2] = {uint8_t(vehicle_number >> 8), uint8_t(vehicle_number & 0xFF)};
    if (!write_block(NUMBER_ADDRESS, number, 2)) return;

    send_frame(COMMAND_CONFIGURATION_DONE, nullptr, 0);
}

bool write_block(int address, const uint8_t* bytes, int count) {
    uint8_t payload[MAX_WRITE_BLOCK + 2];
    const int length = write_block_payload(address, bytes, count, payload);
    if (length > 0) {
        send_command(COMMAND_WRITE_MEMORY, payload, length);
        for (int attempt = 0; attempt < WRITE_ACK_ATTEMPTS; ++attempt) {
            if (poll_frame() && reply_record.bytes[1] == REPLY_ACKNOWLEDGE) return true;
        }
    }
    show_message(message_text(MSG_SAVE_ERROR));
    return false;
}
