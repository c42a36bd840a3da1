// The pin tables of the configuration memory and the conversion between a pin's
// bytes and the editor's list positions.
#include "config/pin_config.h"

#include <cstring>

PinReference pin_references[PIN_COUNT];
int device_can_level = 0;
int vehicle_number = 0;

// Output slot, input slot, trigger, alternative trigger, Fiat_TX, then the I/O bit
// pairs for pattern bits 5 down to 0 ({0, 0}: the pin has no such bit).
const PinMapRow PinMap[PIN_COUNT] = {
    {"J1_3", 0x82, 0xB2, 0xC6, 0xC6, false, {}},
    {"J1_4", 0x81, 0xB1, 0xC5, 0xC5, false, {}},
    {"J2_2", 0x8F, 0x9D, 0xD3, 0xD4, false,
     {{0xB5, 0x20}, {0xB5, 0x10}, {0x90, 0x80}, {0, 0}, {0xBB, 0x10}, {0xBB, 0x20}}},
    {"J2_3", 0x91, 0x9F, 0xD5, 0xD5, false,
     {{0xB6, 0x20}, {0xB5, 0x40}, {0x98, 0x80}, {0, 0}, {0xBB, 0x40}, {0xBC, 0x20}}},
    {"J2_4", 0x85, 0xA9, 0xC9, 0xD0, true,
     {{0xB5, 0x02}, {0xB4, 0x04}, {0x8C, 0x80}, {0xB3, 0x04}, {0xBA, 0x04}, {0xBB, 0x02}}},
    {"J2_5", 0x86, 0xAA, 0xCA, 0xCF, true,
     {{0xB5, 0x01}, {0xB4, 0x08}, {0x8B, 0x80}, {0xB3, 0x08}, {0xBA, 0x08}, {0xBB, 0x01}}},
    {"J2_6", 0x84, 0xA8, 0xC8, 0xD1, true,
     {{0xB5, 0x04}, {0xB4, 0x02}, {0x8D, 0x80}, {0xB3, 0x02}, {0xBA, 0x02}, {0xBB, 0x04}}},
    {"J2_7", 0x83, 0xA7, 0xC7, 0xD2, true,
     {{0xB5, 0x08}, {0xB4, 0x01}, {0x8E, 0x80}, {0xB3, 0x01}, {0xBA, 0x01}, {0xBB, 0x08}}},
    {"J2_8", 0x87, 0xAB, 0xCB, 0xD6, true,
     {{0xB7, 0x80}, {0xB4, 0x10}, {0x92, 0x80}, {0xB3, 0x10}, {0xBA, 0x10}, {0xBB, 0x80}}},
    {"J2_9", 0x88, 0xAC, 0xCC, 0xD7, true,
     {{0xB6, 0x01}, {0xB4, 0x20}, {0x93, 0x80}, {0xB3, 0x20}, {0xBA, 0x20}, {0xBC, 0x01}}},
    {"J2_10", 0x89, 0xAD, 0xCD, 0xD8, true,
     {{0xB6, 0x02}, {0xB4, 0x40}, {0x94, 0x80}, {0xB3, 0x40}, {0xBA, 0x40}, {0xBC, 0x02}}},
    {"J2_11", 0x8A, 0xAE, 0xCE, 0xD9, true,
     {{0xB6, 0x04}, {0xB4, 0x80}, {0x95, 0x80}, {0xB3, 0x80}, {0xBA, 0x80}, {0xBC, 0x04}}},
    {"J2_12", 0x96, 0xA4, 0xDB, 0xDA, false,
     {{0xB7, 0x10}, {0xB6, 0x08}, {0x97, 0x80}, {0, 0}, {0xBC, 0x08}, {0xBC, 0x10}}},
};

const uint8_t DEFAULT_PIN_AREA[PIN_AREA_SIZE] = {
    0x20, 0x03, 0x0F, 0x04, 0x06, 0x08, 0x09, 0x03, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00,
    0x00, 0x01, 0x80, 0x80, 0x80, 0x80, 0x02, 0x02, 0x01, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80,
    0x20, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80,
    0x80, 0x80, 0x80, 0x1F, 0xFF, 0xFF, 0x3F, 0x00, 0x00, 0x00, 0x1F, 0x70, 0x38, 0x00, 0x00, 0x00,
    0x1C, 0x04, 0x00, 0x00, 0x00, 0x1D, 0x00, 0x1D, 0x1D, 0x00, 0x00, 0x1D, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x1D, 0x1D, 0x1D, 0x1D, 0x1D, 0x1D, 0x00, 0x00, 0x00, 0x1D, 0x1D,
};

namespace {

struct Named {
    const char* name;
    uint8_t code;
};

// Positions 0..32 of every pin's signal list; Fiat_TX pins insert Fiat_TX at 32.
const Named SIGNALS[33] = {
    {nullptr, 0x80},          {"LOCK", 0x00},           {"UNLOCK", 0x01},
    {"UNLOCKTRUNK", 0x02},    {"ALARM", 0x03},          {"ALARM_OEM", 0x04},
    {"LOCK_STATE", 0x06},     {"LOCKwoTRUNK_STATE", 0x07}, {"DOOR_FRONT_LEFT", 0x08},
    {"DOOR_FRONT_RIGHT", 0x09}, {"DOOR_REAR_LEFT", 0x0A}, {"DOOR_REAR_RIGHT", 0x0B},
    {"TRUNK", 0x0C},          {"BONNET", 0x0D},         {"DOOR_OTHER", 0x0E},
    {"DOOR/TRUNK/BONNET", 0x0F}, {"IGNITION", 0x10},    {"ACC", 0x11},
    {"HZD_LEFT", 0x12},       {"HAZARD_LIGHTS", 0x13},  {"HZD_RIGHT", 0x14},
    {"SEND_LOCK", 0x18},      {"SEND_UNLOCK_DRV", 0x19}, {"SEND_UNLOCK_ALL", 0x1A},
    {"SEND_OPEN_TRUNK", 0x1B}, {"SEND_OPEN_WIN", 0x1C}, {"SEND_CLOSE_WIN", 0x1D},
    {"SEND_SLIDEDOOR_L", 0x1E}, {"SEND_SLIDEDOOR_R", 0x1F}, {"SEND_HAZARD_LIGHTS", 0x20},
    {"ENGINE_RPM", 0x21},     {"VEHICLE_SPEED", 0x22},  {"REVERSE_LIGHT", 0x25},
};
constexpr int FIAT_TX_POSITION = 32;
constexpr uint8_t FIAT_TX_CODE = 0x23;
const char FIAT_TX_NAME[] = "Fiat_TX";

const Named TRIGGERS[TRIGGER_COUNT] = {
    {"level", 0x00},       {"level+35ms", 0x01}, {"level+70ms", 0x02}, {"level+0.1s", 0x03},
    {"level+0.2s", 0x06},  {"level+0.3s", 0x09}, {"level+0.5s", 0x0F}, {"level+0.75s", 0x16},
    {"level+1s", 0x1D},    {"level+1.5s", 0x2C}, {"level+2s", 0x3B},   {"level+2.5s", 0x4A},
    {"level+3s", 0x58},    {"level+3.5s", 0x67}, {"level+4s", 0x76},   {"level+4.3s", 0x7F},
    {"edge+35ms", 0x81},   {"edge+70ms", 0x82},  {"edge+0.1s", 0x83},  {"edge+0.2s", 0x86},
    {"edge+0.3s", 0x89},   {"edge+0.5s", 0x8F},  {"edge+0.75s", 0x96}, {"edge+1s", 0x9D},
    {"edge+1.5s", 0xAC},   {"edge+2s", 0xBB},    {"edge+2.5s", 0xCA},  {"edge+3s", 0xD8},
    {"edge+3.5s", 0xE7},   {"edge+4s", 0xF6},    {"edge+4.3s", 0xFF},
};

// The full I/O lists, by full position (what the advanced view shows on J2-4..J2-11).
const Named INPUT_PATTERNS[8] = {
    {"Input+ (no pull-down)", 0x3C}, {"Input+ (pull-down 2mA)", 0x2C}, {"Input+ (pull-down 16mA)", 0x2E},
    {"Input- (no pull-up)", 0x38},   {"Input- (pull-up 4mA)", 0x28},   {"Input- (pull-up 8mA)", 0x08},
    {"Input- (pull-up 32mA)", 0x2A}, {"Input- (pull-up 64mA)", 0x0B},
};
const Named OUTPUT_PATTERNS[6] = {
    {"Output+ (max 4mA)", 0x38},  {"Output+ (max 8mA)", 0x30}, {"Output+ (max 32mA)", 0x3A},
    {"Output+ (max 64mA)", 0x33}, {"Output- (max 2mA)", 0x3C}, {"Output- (max 16mA)", 0x3E},
};
// Input- entries start here in the full input list; limited pins' lists start there.
constexpr int FIRST_INPUT_MINUS = 3;
constexpr int OUTPUT_PLUS_COUNT = 4;
// Full positions the compact view writes: Input+ / Input-, Output+ / Output-.
constexpr int COMPACT_INPUT_PLUS = 1;
constexpr int COMPACT_INPUT_MINUS = 4;
constexpr int COMPACT_OUTPUT_PLUS = 3;
constexpr int COMPACT_OUTPUT_MINUS = 5;
const char J1_OUTPUT_LABEL[] = "Output+ (max 5A)";

// The trigger the compact view shows: "level+1s" or "level".
constexpr int LEVEL_1S = 8;
const int COMPACT_TRIGGER[PIN_COUNT] = {LEVEL_1S, 0, 0, LEVEL_1S, LEVEL_1S, 0, LEVEL_1S,
                                        LEVEL_1S, LEVEL_1S, LEVEL_1S, 0, 0, 0};

bool valid_pin(int pin) { return pin >= 0 && pin < PIN_COUNT; }

bool is_send_code(uint8_t code) { return code >= 0x18 && code <= 0x20; }

uint8_t read_pattern(const ConfigImage& image, int pin) {
    uint8_t p = 0;
    for (const IoBit& bit : PinMap[pin].io_bits) {
        p = uint8_t(p << 1);
        if (bit.address && (image[bit.address] & bit.mask)) p |= 1;
    }
    return p;
}

void write_pattern(ConfigImage& image, int pin, uint8_t pattern) {
    for (int i = 0; i < 6; ++i) {
        const IoBit& bit = PinMap[pin].io_bits[i];
        if (!bit.address) continue;
        if (pattern & (0x20 >> i)) {
            image[bit.address] |= bit.mask;
        } else {
            image[bit.address] &= uint8_t(~bit.mask);
        }
    }
}

int input_full_position(uint8_t pattern) {
    for (int i = 1; i < 8; ++i)
        if (INPUT_PATTERNS[i].code == pattern) return i;
    return 0;
}

int output_position(uint8_t pattern) {
    switch (pattern & 0x0F) {
    case 0x0: return 1;
    case 0xA: return 2;
    case 0x3: return 3;
    case 0xC: return 4;
    case 0xE: return 5;
    default: return 0;
    }
}

int trigger_position(uint8_t code) {
    for (int i = 0; i < TRIGGER_COUNT; ++i)
        if (TRIGGERS[i].code == code) return i;
    return 0;
}

int signal_position(int pin, uint8_t code) {
    if (PinMap[pin].fiat_tx && code == FIAT_TX_CODE) return FIAT_TX_POSITION;
    for (int i = 0; i <= 32; ++i) {
        if (SIGNALS[i].code != code) continue;
        return (i == 32 && PinMap[pin].fiat_tx) ? 33 : i;
    }
    return 0;
}

int decode_input_io(int pin, uint8_t pattern, bool advanced) {
    if (!pin_has_io_bits(pin)) return 0;
    const int full = input_full_position(pattern);
    if (!advanced) return (pin_is_limited(pin) || full < FIRST_INPUT_MINUS) ? 0 : 1;
    if (!pin_is_limited(pin)) return full;
    return full > FIRST_INPUT_MINUS ? full - FIRST_INPUT_MINUS : 0;
}

int decode_output_io(int pin, uint8_t pattern, bool advanced) {
    if (!pin_has_io_bits(pin)) return 0;
    int position = output_position(pattern);
    if (pin_is_limited(pin) && position > 3) position = 3;
    if (!advanced) return position > 3 ? 1 : 0;
    return position;
}

uint8_t input_pattern(int pin, int io, bool advanced) {
    if (!advanced) return INPUT_PATTERNS[io != 0 ? COMPACT_INPUT_MINUS : COMPACT_INPUT_PLUS].code;
    const int full = io + (pin_is_limited(pin) ? FIRST_INPUT_MINUS : 0);
    return (full >= 0 && full < 8) ? INPUT_PATTERNS[full].code : INPUT_PATTERNS[0].code;
}

uint8_t output_pattern(int io, bool advanced) {
    if (!advanced) return OUTPUT_PATTERNS[io != 0 ? COMPACT_OUTPUT_MINUS : COMPACT_OUTPUT_PLUS].code;
    return (io >= 0 && io < 6) ? OUTPUT_PATTERNS[io].code : OUTPUT_PATTERNS[0].code;
}

}  // namespace

bool pin_has_io_bits(int pin) { return pin != PIN_J1_3 && pin != PIN_J1_4; }

bool pin_is_limited(int pin) { return pin == PIN_J2_2 || pin == PIN_J2_3 || pin == PIN_J2_12; }

int advanced_io_position(int pin, int signal, int compact_io) {
    if (!pin_has_io_bits(pin)) return 0;
    const bool input = signal_is_input(pin, signal);
    const int full = input ? (compact_io != 0 ? COMPACT_INPUT_MINUS : COMPACT_INPUT_PLUS)
                           : (compact_io != 0 ? COMPACT_OUTPUT_MINUS : COMPACT_OUTPUT_PLUS);
    const int position = input && pin_is_limited(pin) ? full - FIRST_INPUT_MINUS : full;
    return position >= 0 && position < io_list_count(pin, input ? ROLE_INPUT : ROLE_OUTPUT, true) ? position : -1;
}

ConfigImage blank_image() {
    ConfigImage image;
    for (int address = 0; address < int(image.size()); ++address)
        image[size_t(address)] = address <= 0xAF ? 0x80 : 0x00;
    return image;
}

ConfigImage default_image() {
    ConfigImage image = blank_image();
    std::memcpy(image.data() + PIN_AREA_FIRST, DEFAULT_PIN_AREA, PIN_AREA_SIZE);
    return image;
}

int signal_count(int pin) { return valid_pin(pin) && PinMap[pin].fiat_tx ? 34 : 33; }

const char* signal_name(int pin, int position) {
    if (!valid_pin(pin) || position <= 0 || position >= signal_count(pin)) return nullptr;
    if (PinMap[pin].fiat_tx && position >= FIAT_TX_POSITION)
        return position == FIAT_TX_POSITION ? FIAT_TX_NAME : SIGNALS[32].name;
    return SIGNALS[position].name;
}

uint8_t signal_code(int pin, int position) {
    if (!valid_pin(pin) || position <= 0 || position >= signal_count(pin)) return SIGNAL_NONE;
    if (PinMap[pin].fiat_tx && position >= FIAT_TX_POSITION)
        return position == FIAT_TX_POSITION ? FIAT_TX_CODE : SIGNALS[32].code;
    return SIGNALS[position].code;
}

bool signal_is_input(int pin, int position) { return is_send_code(signal_code(pin, position)); }

const char* trigger_name(int position) {
    return position >= 0 && position < TRIGGER_COUNT ? TRIGGERS[position].name : nullptr;
}

uint8_t trigger_code(int position) {
    return position >= 0 && position < TRIGGER_COUNT ? TRIGGERS[position].code : 0x00;
}

int io_list_count(int pin, PinRole role, bool advanced) {
    if (!valid_pin(pin)) return 0;
    if (!pin_has_io_bits(pin)) return role == ROLE_INPUT && advanced ? FIRST_INPUT_MINUS : 1;
    if (!advanced) return pin_is_limited(pin) ? 1 : 2;
    if (role == ROLE_INPUT) return pin_is_limited(pin) ? 8 - FIRST_INPUT_MINUS : 8;
    return pin_is_limited(pin) ? OUTPUT_PLUS_COUNT : 6;
}

const char* io_list_label(int pin, PinRole role, bool advanced, int position) {
    if (position < 0 || position >= io_list_count(pin, role, advanced)) return nullptr;
    if (role == ROLE_OUTPUT && !pin_has_io_bits(pin)) return J1_OUTPUT_LABEL;
    if (!advanced) {
        const bool minus = position == 1 || (pin_is_limited(pin) && role == ROLE_INPUT);
        if (role == ROLE_INPUT) return minus ? "Input-" : "Input+";
        return position == 1 ? "Output-" : "Output+";
    }
    if (role == ROLE_OUTPUT) return OUTPUT_PATTERNS[position].name;
    return INPUT_PATTERNS[position + (pin_is_limited(pin) ? FIRST_INPUT_MINUS : 0)].name;
}

PinSetting decode_image(const ConfigImage& image, int pin, bool advanced, PinRole* role) {
    PinSetting setting;
    const PinMapRow& map = PinMap[pin];
    uint8_t s = image[map.output_slot];
    *role = ROLE_OUTPUT;
    if (s == SIGNAL_NONE) {
        s = image[map.input_slot];
        *role = ROLE_INPUT;
    }
    setting.inverted = advanced && (s & SIGNAL_INVERTED);
    setting.signal = signal_position(pin, uint8_t(s & ~SIGNAL_INVERTED));
    if (setting.signal == 0) return setting;

    const uint8_t pattern = pin_has_io_bits(pin) ? read_pattern(image, pin) : 0;
    if (*role == ROLE_INPUT) {
        setting.io = decode_input_io(pin, pattern, advanced);
        return setting;
    }
    setting.io = decode_output_io(pin, pattern, advanced);
    uint8_t t = image[map.trigger];
    if (t == 0) t = image[map.alt_trigger];
    setting.trigger = advanced ? trigger_position(t) : COMPACT_TRIGGER[pin];
    return setting;
}

PinReference encode_image(ConfigImage& image, int pin, const PinSetting& setting, bool advanced) {
    const PinMapRow& map = PinMap[pin];
    const bool j1 = !pin_has_io_bits(pin);
    PinReference reference;
    const uint8_t code = signal_code(pin, setting.signal);
    reference.signal = setting.signal;
    reference.io = j1 ? 0 : -1;
    reference.trigger = j1 ? 0 : -1;

    uint8_t s = SIGNAL_NONE;
    if (code != SIGNAL_NONE) {
        reference.inverted = setting.inverted ? 1 : 0;
        s = uint8_t(code | (setting.inverted ? SIGNAL_INVERTED : 0));
    }

    uint8_t output_slot = s;
    uint8_t input_slot = SIGNAL_NONE;
    uint8_t trigger = 0x00;
    uint8_t pattern = INPUT_PATTERNS[0].code;
    if (code == SIGNAL_NONE || is_send_code(code)) {
        output_slot = SIGNAL_NONE;
        input_slot = s;
        if (!j1 && code != SIGNAL_NONE) {
            reference.io = setting.io;
            pattern = input_pattern(pin, setting.io, advanced);
        }
    } else {
        reference.trigger = setting.trigger;
        trigger = trigger_code(setting.trigger);
        reference.io = setting.io;
        pattern = output_pattern(setting.io, advanced);
    }

    image[map.trigger] = trigger;
    if (!j1) write_pattern(image, pin, pattern);
    image[map.output_slot] = output_slot;
    image[map.input_slot] = input_slot;
    return reference;
}

ConfigImage encode_pin_area(const PinSetting settings[PIN_COUNT], bool advanced, PinReference* references) {
    ConfigImage image = blank_image();
    for (int pin = 0; pin < PIN_COUNT; ++pin) {
        const PinReference reference = encode_image(image, pin, settings[pin], advanced);
        if (references) references[pin] = reference;
    }
    return image;
}
