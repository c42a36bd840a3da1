// A configuration file's choices over the module's configuration.
#include "config/config_file_overlay.h"

#include "config/config_file_format.h"

namespace {

bool setting_fits(int pin, const PinSetting& s) {
    const PinRole role = signal_is_input(pin, s.signal) ? ROLE_INPUT : ROLE_OUTPUT;
    return s.signal >= 0 && s.signal < signal_count(pin) && s.trigger >= 0 && s.trigger < TRIGGER_COUNT &&
           s.io >= 0 && (s.signal == 0 || !pin_has_io_bits(pin) || s.io < io_list_count(pin, role, true));
}

FileChoices::Part part_of(ConfigKeyKind kind) {
    switch (kind) {
    case KEY_INV: return FileChoices::INVERTED;
    case KEY_IOTYPE: return FileChoices::IO;
    case KEY_TRIGGER: return FileChoices::TRIGGER;
    default: return FileChoices::SIGNAL;
    }
}

std::string at_line(const ConfigLine& line) { return "line " + std::to_string(line.number) + ": "; }

// A header value: a number in range, or the reason it is not.
bool header_value(const ConfigLine& line, const char* what, int low, int high, int* value, std::string* error) {
    *value = config_integer_value(line.value);
    if (config_value_is_number(line.value) && *value >= low && *value <= high) return true;
    *error = at_line(line) + what + " \"" + line.value + "\" is not a number from " + std::to_string(low) + " to " +
             std::to_string(high);
    return false;
}

}  // namespace

bool read_file_choices(const char* text, int length, FileChoices* choices, std::vector<std::string>* skipped,
                       std::string* error) {
    ConfigKey keys[CONFIG_KEY_CAPACITY];
    const int count = config_keys(true, keys);
    FileChoices result;
    std::vector<int> without_equals;
    std::vector<std::string> notes;
    bool any_key = false;
    ConfigLineReader reader(text, length, &without_equals);
    ConfigLine line;
    while (reader.next(&line)) {
        const ConfigKey* key = nullptr;
        for (int i = 0; i < count && !key; ++i)
            if (config_key_matches(keys[i], line.key, line.key_length)) key = &keys[i];
        if (!key) {
            notes.push_back(at_line(line) + "no such key \"" + line.key + "\": skipped");
            continue;
        }
        any_key = true;
        if (key->kind == KEY_CANLEVEL) {
            if (!header_value(line, "CAN level", FILE_MIN_CAN_LEVEL, FILE_MAX_CAN_LEVEL, &result.can_level, error))
                return false;
            result.has_level = true;
            continue;
        }
        if (key->kind == KEY_CARNUMBER) {
            if (!header_value(line, "vehicle number", 0, 0xFFFF, &result.vehicle_number, error)) return false;
            result.has_number = true;
            continue;
        }
        if (!config_value_is_number(line.value)) {
            notes.push_back(at_line(line) + key->key + " \"" + line.value + "\" is not a number: skipped");
            continue;
        }
        const int value = config_integer_value(line.value);
        PinSetting& s = result.pins[key->pin];
        const FileChoices::Part part = part_of(key->kind);
        switch (part) {
        case FileChoices::SIGNAL: s.signal = value; break;
        case FileChoices::INVERTED: s.inverted = value != 0; break;
        case FileChoices::IO: s.io = value; break;
        default: s.trigger = value; break;
        }
        result.named[key->pin][part] = true;
        // Only the advanced view saves these keys: its I/O positions are the full lists'.
        if (part == FileChoices::INVERTED || part == FileChoices::TRIGGER) result.advanced = true;
    }
    if (!any_key) {
        *error = "no line holds a configuration key (carnumber, canlevel, J1_3_signal, ...)";
        return false;
    }
    for (int number : without_equals) notes.push_back("line " + std::to_string(number) + ": no \"=\": skipped");
    *choices = result;
    if (skipped) skipped->insert(skipped->end(), notes.begin(), notes.end());
    return true;
}

bool apply_file_choices(const FileChoices& choices, const ModuleConfiguration& module, ModuleConfiguration* out,
                        std::string* error) {
    PinSetting settings[PIN_COUNT];
    for (int pin = 0; pin < PIN_COUNT; ++pin) {
        PinRole role;
        settings[pin] = decode_image(module.image, pin, true, &role);
        const bool* named = choices.named[pin];
        const PinSetting& file = choices.pins[pin];
        PinSetting& s = settings[pin];
        if (named[FileChoices::SIGNAL]) s.signal = file.signal;
        if (named[FileChoices::INVERTED]) s.inverted = file.inverted;
        if (named[FileChoices::TRIGGER]) s.trigger = file.trigger;
        // A compact view's I/O choice stands for the advanced entry of the signal's role.
        if (named[FileChoices::IO]) s.io = choices.advanced ? file.io : advanced_io_position(pin, s.signal, file.io);
        bool any = false;
        for (int part = 0; part < FileChoices::PARTS; ++part) any = any || named[part];
        if (any && !setting_fits(pin, s)) {
            *error = std::string("pin ") + PinMap[pin].key + " has a choice that does not exist";
            return false;
        }
    }
    out->can_level = choices.has_level ? choices.can_level : module.can_level;
    out->vehicle_number = choices.has_number ? choices.vehicle_number : module.vehicle_number;
    out->image = encode_pin_area(settings, true, nullptr);
    return true;
}
