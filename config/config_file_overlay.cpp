// Laying a configuration file's values over the module's configuration.
#include "config/config_file_overlay.h"

#include "config/config_file_format.h"
#include "config/memory_blocks.h"

namespace {

// A file with any key of the advanced view was saved in it.
bool saved_in_advanced_view(const char* text, int length, const ConfigKey* keys, int count) {
    ConfigLineReader reader(text, length);
    ConfigLine line;
    while (reader.next(&line))
        for (int i = 0; i < count; ++i)
            if ((keys[i].kind == KEY_INV || keys[i].kind == KEY_TRIGGER) &&
                config_key_matches(keys[i], line.key, line.key_length))
                return true;
    return false;
}

bool setting_fits(int pin, const PinSetting& s) {
    const PinRole role = signal_is_input(pin, s.signal) ? ROLE_INPUT : ROLE_OUTPUT;
    return s.signal >= 0 && s.signal < signal_count(pin) && s.trigger >= 0 && s.trigger < TRIGGER_COUNT &&
           s.io >= 0 && (s.signal == 0 || !pin_has_io_bits(pin) || s.io < io_list_count(pin, role, true));
}

}  // namespace

bool overlay_config_text(const char* text, int length, ModuleConfiguration* config, std::string* error) {
    ConfigKey keys[CONFIG_KEY_CAPACITY];
    const int count = config_keys(true, keys);
    const bool advanced = saved_in_advanced_view(text, length, keys, count);

    // The module's choices read in the advanced view, which loses nothing.
    ModuleConfiguration result = *config;
    PinSetting settings[PIN_COUNT];
    bool named[PIN_COUNT] = {};
    int compact_io[PIN_COUNT];
    for (int pin = 0; pin < PIN_COUNT; ++pin) {
        PinRole role;
        settings[pin] = decode_image(config->image, pin, true, &role);
        compact_io[pin] = -1;
    }
    ConfigLineReader reader(text, length);
    ConfigLine line;
    while (reader.next(&line)) {
        for (int i = 0; i < count; ++i) {
            if (!config_key_matches(keys[i], line.key, line.key_length)) continue;
            const int value = config_integer_value(line.value);
            const int pin = keys[i].pin;
            if (pin >= 0) named[pin] = true;
            PinSetting* s = pin >= 0 ? &settings[pin] : nullptr;
            switch (keys[i].kind) {
            case KEY_CARNUMBER: result.vehicle_number = value; break;
            case KEY_CANLEVEL: result.can_level = value; break;
            case KEY_SIGNAL: s->signal = value; break;
            case KEY_INV: s->inverted = value != 0; break;
            case KEY_IOTYPE:
                if (advanced) s->io = value;
                else compact_io[pin] = value;
                break;
            case KEY_TRIGGER: s->trigger = value; break;
            }
        }
    }
    if (!can_level_storable(result.can_level)) {
        *error = "CAN level " + std::to_string(result.can_level) + " does not fit the header";
        return false;
    }
    if (result.vehicle_number < 0 || result.vehicle_number > 0xFFFF) {
        *error = "vehicle number " + std::to_string(result.vehicle_number) + " does not fit two bytes";
        return false;
    }
    for (int pin = 0; pin < PIN_COUNT; ++pin) {
        if (!named[pin]) continue;
        PinSetting& s = settings[pin];
        if (compact_io[pin] >= 0) s.io = advanced_io_position(pin, s.signal, compact_io[pin]);
        if (!setting_fits(pin, s)) {
            *error = std::string("pin ") + PinMap[pin].key + " has a choice that does not exist";
            return false;
        }
        encode_image(result.image, pin, s, true);
    }
    *config = result;
    return true;
}
