// Every choice the pin editor can show survives encode_image and decode_image, in both
// views, alone and next to the other pins.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "config/pin_config.h"
#include "config/pin_rules.h"

namespace {

// The compact view has no trigger list: a read shows the pin's fixed timing.
int compact_trigger(int pin) {
    switch (pin) {
    case PIN_J1_3: case PIN_J2_3: case PIN_J2_4: case PIN_J2_6: case PIN_J2_7: case PIN_J2_8: case PIN_J2_9:
        return 8;  // "level+1s"
    default:
        return 0;  // "level"
    }
}

// Every setting of a pin that the editor's lists allow in a view (signal "none" once).
std::vector<PinSetting> editor_settings(int pin, bool advanced) {
    std::vector<PinSetting> out;
    out.push_back(PinSetting());
    for (int signal = 1; signal < signal_count(pin); ++signal) {
        const PinRowShape shape = pin_row_shape(pin, signal, advanced);
        // The J1 pins' I/O list is insensitive: it stays at its first entry.
        const int io_count = shape.io_sensitive ? shape.io_count : 1;
        const int trigger_count = shape.trigger_visible ? TRIGGER_COUNT : 1;
        for (int inverted = 0; inverted <= (shape.inversion_visible ? 1 : 0); ++inverted) {
            for (int io = 0; io < io_count; ++io) {
                for (int trigger = 0; trigger < trigger_count; ++trigger) {
                    PinSetting s;
                    s.signal = signal;
                    s.inverted = inverted != 0;
                    s.io = io;
                    s.trigger = advanced ? trigger : compact_trigger(pin);
                    if (shape.role == ROLE_INPUT) s.trigger = 0;
                    out.push_back(s);
                }
            }
        }
    }
    return out;
}

::testing::AssertionResult same_choices(int pin, bool advanced, const PinSetting& wanted, const ConfigImage& image) {
    PinRole role = ROLE_OUTPUT;
    const PinSetting got = decode_image(image, pin, advanced, &role);
    auto fail = [&](const char* what) {
        return ::testing::AssertionFailure()
               << what << " differs on pin " << pin << (advanced ? " (advanced)" : " (compact)") << ": wanted signal "
               << wanted.signal << " inv " << wanted.inverted << " io " << wanted.io << " trigger " << wanted.trigger
               << ", got signal " << got.signal << " inv " << got.inverted << " io " << got.io << " trigger "
               << got.trigger;
    };
    if (got.signal != wanted.signal) return fail("signal");
    if (wanted.signal == 0) return ::testing::AssertionSuccess();
    const PinRole wanted_role = signal_is_input(pin, wanted.signal) ? ROLE_INPUT : ROLE_OUTPUT;
    if (role != wanted_role) return fail("role");
    if (got.inverted != wanted.inverted) return fail("inversion");
    if (got.io != wanted.io) return fail("I/O");
    if (role == ROLE_OUTPUT && got.trigger != wanted.trigger) return fail("trigger");
    return ::testing::AssertionSuccess();
}

TEST(PinRoundTrip, EveryChoiceOfEveryPinComesBackInBothViews) {
    int checked = 0;
    for (bool advanced : {false, true}) {
        for (int pin = 0; pin < PIN_COUNT; ++pin) {
            for (const PinSetting& setting : editor_settings(pin, advanced)) {
                ConfigImage image = blank_image();
                encode_image(image, pin, setting, advanced);
                ASSERT_TRUE(same_choices(pin, advanced, setting, image));
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 10000);
}

TEST(PinRoundTrip, ReferencesOfAWriteAreTheWrittenChoices) {
    for (bool advanced : {false, true}) {
        for (int pin = 0; pin < PIN_COUNT; ++pin) {
            for (const PinSetting& setting : editor_settings(pin, advanced)) {
                ConfigImage image = blank_image();
                const PinReference ref = encode_image(image, pin, setting, advanced);
                ASSERT_EQ(ref.signal, setting.signal) << "pin " << pin;
                if (setting.signal == 0) {
                    EXPECT_EQ(ref.inverted, -1) << "pin " << pin;
                    continue;
                }
                ASSERT_EQ(ref.inverted, int(setting.inverted)) << "pin " << pin;
                ASSERT_EQ(ref.io, setting.io) << "pin " << pin << " signal " << setting.signal;
                if (!signal_is_input(pin, setting.signal)) {
                    ASSERT_EQ(ref.trigger, setting.trigger) << "pin " << pin;
                }
            }
        }
    }
}

// The pins share bytes (I/O bits of several pins live at one address): writing all
// thirteen into one image must not disturb any of them.
TEST(PinRoundTrip, AllPinsInOneImageKeepTheirChoices) {
    std::mt19937 random(450);
    for (bool advanced : {false, true}) {
        std::vector<PinSetting> choices[PIN_COUNT];
        for (int pin = 0; pin < PIN_COUNT; ++pin) choices[pin] = editor_settings(pin, advanced);
        for (int round = 0; round < 2000; ++round) {
            PinSetting chosen[PIN_COUNT];
            ConfigImage image = blank_image();
            for (int pin = 0; pin < PIN_COUNT; ++pin) {
                chosen[pin] = choices[pin][random() % choices[pin].size()];
                encode_image(image, pin, chosen[pin], advanced);
            }
            for (int pin = 0; pin < PIN_COUNT; ++pin) ASSERT_TRUE(same_choices(pin, advanced, chosen[pin], image));
        }
    }
}

}  // namespace
