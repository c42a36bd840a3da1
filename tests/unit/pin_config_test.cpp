// The pin tables and the conversion of pin bytes to list positions and back.
#include "config/pin_config.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "sim/sim_module.h"

namespace {

PinSetting decode(const ConfigImage& image, int pin, bool advanced, PinRole* role = nullptr) {
    PinRole ignored;
    return decode_image(image, pin, advanced, role ? role : &ignored);
}

TEST(PinTables, ListsHaveTheirLengths) {
    EXPECT_EQ(signal_count(PIN_J2_7), 34);
    EXPECT_EQ(signal_count(PIN_J2_3), 33);
    EXPECT_STREQ(signal_name(PIN_J2_7, 32), "Fiat_TX");
    EXPECT_STREQ(signal_name(PIN_J2_7, 33), "REVERSE_LIGHT");
    EXPECT_STREQ(signal_name(PIN_J2_3, 32), "REVERSE_LIGHT");
    EXPECT_EQ(signal_name(PIN_J2_3, 33), nullptr);
    EXPECT_EQ(signal_name(PIN_J2_3, 0), nullptr) << "position 0 is the translated \"none\"";
    EXPECT_STREQ(signal_name(PIN_J1_3, 15), "DOOR/TRUNK/BONNET");
    EXPECT_TRUE(signal_is_input(PIN_J2_2, 21));
    EXPECT_TRUE(signal_is_input(PIN_J2_2, 29));
    EXPECT_FALSE(signal_is_input(PIN_J2_2, 30));
    EXPECT_FALSE(signal_is_input(PIN_J2_4, 32)) << "Fiat_TX is an output";
    EXPECT_STREQ(trigger_name(0), "level");
    EXPECT_STREQ(trigger_name(30), "edge+4.3s");
    EXPECT_EQ(trigger_code(8), 0x1D);
}

TEST(PinTables, IoListsByRolePinAndView) {
    struct Case {
        int pin;
        PinRole role;
        bool advanced;
        int count;
        const char* first;
        const char* last;
    };
    const Case cases[] = {
        {PIN_J1_3, ROLE_INPUT, true, 3, "Input+ (no pull-down)", "Input+ (pull-down 16mA)"},
        {PIN_J1_3, ROLE_INPUT, false, 1, "Input+", "Input+"},
        {PIN_J1_4, ROLE_OUTPUT, true, 1, "Output+ (max 5A)", "Output+ (max 5A)"},
        {PIN_J1_4, ROLE_OUTPUT, false, 1, "Output+ (max 5A)", "Output+ (max 5A)"},
        {PIN_J2_2, ROLE_INPUT, true, 5, "Input- (no pull-up)", "Input- (pull-up 64mA)"},
        {PIN_J2_2, ROLE_INPUT, false, 1, "Input-", "Input-"},
        {PIN_J2_12, ROLE_OUTPUT, true, 4, "Output+ (max 4mA)", "Output+ (max 64mA)"},
        {PIN_J2_3, ROLE_OUTPUT, false, 1, "Output+", "Output+"},
        {PIN_J2_6, ROLE_INPUT, true, 8, "Input+ (no pull-down)", "Input- (pull-up 64mA)"},
        {PIN_J2_6, ROLE_INPUT, false, 2, "Input+", "Input-"},
        {PIN_J2_11, ROLE_OUTPUT, true, 6, "Output+ (max 4mA)", "Output- (max 16mA)"},
        {PIN_J2_11, ROLE_OUTPUT, false, 2, "Output+", "Output-"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(io_list_count(c.pin, c.role, c.advanced), c.count) << PinMap[c.pin].key;
        EXPECT_STREQ(io_list_label(c.pin, c.role, c.advanced, 0), c.first) << PinMap[c.pin].key;
        EXPECT_STREQ(io_list_label(c.pin, c.role, c.advanced, c.count - 1), c.last) << PinMap[c.pin].key;
        EXPECT_EQ(io_list_label(c.pin, c.role, c.advanced, c.count), nullptr);
    }
}

TEST(PinImage, DefaultImageMatchesTheFactoryModule) {
    const ConfigImage image = default_image();
    EXPECT_EQ(std::memcmp(image.data() + 0x81, SimModule::DEFAULT_PIN_AREA, 92), 0);
    const ConfigImage blank = blank_image();
    EXPECT_EQ(blank[0xAF], 0x80);
    EXPECT_EQ(blank[0xB0], 0x00);
}

TEST(PinImage, DefaultSettingsInTheAdvancedView) {
    struct Expected {
        int pin;
        const char* signal;  // nullptr: none
        int io;
        const char* trigger;
    };
    const Expected expected[] = {
        {PIN_J1_3, "ALARM", 0, "level+1s"},
        {PIN_J1_4, "SEND_HAZARD_LIGHTS", 0, nullptr},
        {PIN_J2_2, nullptr, 0, nullptr},
        {PIN_J2_3, "LOCK", 0, "level+1s"},
        {PIN_J2_4, "LOCK_STATE", 0, "level+1s"},
        {PIN_J2_5, "DOOR_FRONT_LEFT", 0, "level"},
        {PIN_J2_6, "ALARM_OEM", 0, "level+1s"},
        {PIN_J2_7, "DOOR/TRUNK/BONNET", 0, "level+1s"},
        {PIN_J2_8, "DOOR_FRONT_RIGHT", 1, "level+1s"},  // "Output+ (max 8mA)"
        {PIN_J2_9, "ALARM", 0, "level+1s"},
        {PIN_J2_10, nullptr, 0, nullptr},
        {PIN_J2_11, nullptr, 0, nullptr},
        {PIN_J2_12, nullptr, 0, nullptr},
    };
    const ConfigImage image = default_image();
    for (const Expected& e : expected) {
        PinRole role;
        const PinSetting s = decode(image, e.pin, true, &role);
        const char* name = signal_name(e.pin, s.signal);
        EXPECT_EQ(std::string(name ? name : "-"), std::string(e.signal ? e.signal : "-")) << PinMap[e.pin].key;
        EXPECT_FALSE(s.inverted) << PinMap[e.pin].key;
        if (!e.signal) continue;
        EXPECT_EQ(s.io, e.io) << PinMap[e.pin].key;
        // SEND_HAZARD_LIGHTS sits in J1-4's output slot: the slot decides the role.
        EXPECT_EQ(role, ROLE_OUTPUT) << PinMap[e.pin].key;
        if (e.trigger) {
            EXPECT_STREQ(trigger_name(s.trigger), e.trigger) << PinMap[e.pin].key;
        }
    }
    EXPECT_STREQ(io_list_label(PIN_J2_8, ROLE_OUTPUT, true, 1), "Output+ (max 8mA)");
}

TEST(PinImage, InvertedSendSignalInTheInputSlot) {
    ConfigImage image = blank_image();
    image[PinMap[PIN_J2_4].input_slot] = 0x5A;
    PinRole role;
    PinSetting s = decode(image, PIN_J2_4, true, &role);
    EXPECT_STREQ(signal_name(PIN_J2_4, s.signal), "SEND_UNLOCK_ALL");
    EXPECT_EQ(role, ROLE_INPUT);
    EXPECT_TRUE(s.inverted);
    s = decode(image, PIN_J2_4, false, &role);
    EXPECT_FALSE(s.inverted) << "the compact view shows no inversion";
}

TEST(PinImage, FiatTxAndReverseLightPositions) {
    struct Case {
        int pin;
        uint8_t code;
        int position;
    };
    const Case cases[] = {
        {PIN_J2_5, 0x23, 32}, {PIN_J2_5, 0x25, 33}, {PIN_J2_2, 0x25, 32}, {PIN_J2_2, 0x23, 0},
        {PIN_J2_5, 0x05, 0},  {PIN_J2_5, 0x63, 32},  // unknown code; Fiat_TX inverted
    };
    for (const Case& c : cases) {
        ConfigImage image = blank_image();
        image[PinMap[c.pin].output_slot] = c.code;
        EXPECT_EQ(decode(image, c.pin, true).signal, c.position) << int(c.code);
    }
    ConfigImage image = blank_image();
    PinSetting fiat;
    fiat.signal = 32;
    encode_image(image, PIN_J2_4, fiat, true);
    EXPECT_EQ(image[0x85], 0x23);
    fiat.signal = 33;
    encode_image(image, PIN_J2_4, fiat, true);
    EXPECT_EQ(image[0x85], 0x25);
}

TEST(PinImage, PinWithoutSignalIsWrittenBlank) {
    ConfigImage image = default_image();
    const PinReference reference = encode_image(image, PIN_J2_8, PinSetting(), true);
    EXPECT_EQ(image[0x87], 0x80);
    EXPECT_EQ(image[0xAB], 0x80);
    EXPECT_EQ(image[0xCB], 0x00);
    EXPECT_EQ(reference.signal, 0);
    EXPECT_EQ(reference.inverted, -1);
    EXPECT_EQ(reference.io, -1);
    EXPECT_EQ(reference.trigger, -1);
    // Pattern 0x3C: bits 5..2 set, 1..0 clear.
    EXPECT_EQ(image[0xB7] & 0x80, 0x80);
    EXPECT_EQ(image[0xB4] & 0x10, 0x10);
    EXPECT_EQ(image[0x92] & 0x80, 0x80);
    EXPECT_EQ(image[0xB3] & 0x10, 0x10);
    EXPECT_EQ(image[0xBA] & 0x10, 0x00);
    EXPECT_EQ(image[0xBB] & 0x80, 0x00);
}

TEST(PinImage, SendLockOnJ26InTheCompactViewAsInputMinus) {
    ConfigImage image = blank_image();
    PinSetting s;
    s.signal = 21;  // SEND_LOCK
    s.io = 1;       // "Input-"
    image[0xB4] = 0xFF;
    image[0xB3] = 0xFF;
    const PinReference reference = encode_image(image, PIN_J2_6, s, false);
    EXPECT_EQ(image[0xA8], 0x18);
    EXPECT_EQ(image[0x84], 0x80);
    EXPECT_EQ(image[0xC8], 0x00);
    EXPECT_EQ(image[0xB5] & 0x04, 0x04);
    EXPECT_EQ(image[0xB4] & 0x02, 0x00);
    EXPECT_EQ(image[0x8D] & 0x80, 0x80);
    EXPECT_EQ(image[0xB3] & 0x02, 0x00);
    EXPECT_EQ(image[0xBA] & 0x02, 0x00);
    EXPECT_EQ(image[0xBB] & 0x04, 0x00);
    EXPECT_EQ(reference.io, 1);
    EXPECT_EQ(reference.trigger, -1);
    EXPECT_EQ(reference.inverted, 0);
}

TEST(PinImage, AlternativeTriggerIsReadAndClearedOnWrite) {
    ConfigImage image = blank_image();
    image[PinMap[PIN_J2_4].output_slot] = 0x00;  // LOCK
    image[0xC9] = 0x00;
    image[0xD0] = 0x9D;  // edge+1s
    const PinSetting s = decode(image, PIN_J2_4, true);
    EXPECT_STREQ(trigger_name(s.trigger), "edge+1s");
    ConfigImage written = blank_image();
    const PinReference reference = encode_image(written, PIN_J2_4, s, true);
    EXPECT_EQ(written[0xC9], 0x9D);
    EXPECT_EQ(written[0xD0], 0x00);
    EXPECT_EQ(reference.trigger, s.trigger);
}

TEST(PinImage, CompactViewShowsFixedTriggersAndCoarseIo) {
    ConfigImage image = default_image();
    EXPECT_STREQ(trigger_name(decode(image, PIN_J1_3, false).trigger), "level+1s");
    EXPECT_STREQ(trigger_name(decode(image, PIN_J2_5, false).trigger), "level");
    image[0xC6] = 0xFF;  // J1-3's trigger byte no longer matters in the compact view
    EXPECT_STREQ(trigger_name(decode(image, PIN_J1_3, false).trigger), "level+1s");
    // J2-8 reads "Output+ (max 8mA)": compact "Output+".
    EXPECT_EQ(decode(image, PIN_J2_8, false).io, 0);
}

// The compact view shows "Input+" for full positions 0 to 2 and "Input-" from 3 on.
TEST(PinImage, CompactInputBoundaryLiesBetweenFullPositions2And3) {
    const struct {
        uint8_t pattern;
        int io;
    } cases[] = {{0x3C, 0}, {0x2E, 0}, {0x38, 1}, {0x0B, 1}};
    for (const auto& c : cases) {
        ConfigImage image = blank_image();
        image[PinMap[PIN_J2_6].input_slot] = 0x18;  // SEND_LOCK
        for (int i = 0; i < 6; ++i) {
            const IoBit& bit = PinMap[PIN_J2_6].io_bits[i];
            if (c.pattern & (0x20 >> i)) image[bit.address] |= bit.mask;
        }
        EXPECT_EQ(decode(image, PIN_J2_6, false).io, c.io) << int(c.pattern);
    }
}

// The whole written pin area, byte for byte: a trigger or alternative trigger byte
// at the wrong address would read back the same and still reach the module wrong.
TEST(PinImage, WrittenPinAreaIsTheExpectedImage) {
    const ConfigImage defaults = default_image();
    PinSetting triggers[PIN_COUNT];
    for (int pin = 0; pin < PIN_COUNT; ++pin) {
        triggers[pin].signal = 1;  // LOCK, an output everywhere
        triggers[pin].trigger = pin + 1;
    }
    // Addresses 0x81 to 0xDC. The defaults move SEND_HAZARD_LIGHTS to J1-4's input
    // slot and blank every alternative trigger byte.
    const uint8_t written_defaults[PIN_AREA_SIZE] = {
        0x80, 0x03, 0x0F, 0x04, 0x06, 0x08, 0x09, 0x03, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80,
        0x00, 0x00, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80,
        0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00,
        0x20, 0x80, 0xC0, 0xFF, 0x7F, 0x2F, 0x90, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x1D, 0x1D, 0x1D, 0x1D, 0x00, 0x1D, 0x1D, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x1D, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    };
    const uint8_t written_triggers[PIN_AREA_SIZE] = {
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x80, 0x80, 0x80, 0x00, 0x80,
        0x00, 0x80, 0x80, 0x80, 0x80, 0x00, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80,
        0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00,
        0x80, 0x80, 0x00, 0xFF, 0x7F, 0x2F, 0x90, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x02, 0x01, 0x1D, 0x16, 0x09, 0x0F, 0x2C, 0x3B, 0x4A, 0x58, 0x00, 0x00,
        0x00, 0x00, 0x03, 0x00, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0x67, 0x00,
    };
    const struct {
        const char* name;
        std::function<PinSetting(int)> setting;
        const uint8_t* expected;
    } cases[] = {
        {"factory defaults", [&](int pin) { return decode(defaults, pin, true); }, written_defaults},
        {"a trigger on every pin", [&](int pin) { return triggers[pin]; }, written_triggers},
    };
    for (const auto& c : cases) {
        ConfigImage image = blank_image();
        for (int pin = 0; pin < PIN_COUNT; ++pin) encode_image(image, pin, c.setting(pin), true);
        for (int i = 0; i < PIN_AREA_SIZE; ++i)
            EXPECT_EQ(image[size_t(PIN_AREA_FIRST + i)], c.expected[i]) << c.name << " at " << PIN_AREA_FIRST + i;
    }
}

TEST(PinImage, UnknownPatternsAndCodesShowPositionZero) {
    ConfigImage image = blank_image();
    image[PinMap[PIN_J2_4].output_slot] = 0x00;
    image[0xC9] = 0x42;  // no such trigger
    for (const IoBit& bit : PinMap[PIN_J2_4].io_bits) image[bit.address] |= bit.mask;  // pattern 0x3F
    const PinSetting s = decode(image, PIN_J2_4, true);
    EXPECT_EQ(s.trigger, 0);
    EXPECT_EQ(s.io, 0);
}

}  // namespace
