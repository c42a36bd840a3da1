// The pin rows' rules and the transfer's memory helpers, without a display.
#include <gtest/gtest.h>

#include <cstring>

#include "config/memory_blocks.h"
#include "config/pin_rules.h"

namespace {

constexpr int LOCK = 1;
constexpr int SEND_LOCK = 21;
constexpr int SEND_HAZARD_LIGHTS = 29;
constexpr int VEHICLE_SPEED = 31;

struct ShapeCase {
    int pin;
    int signal;
    bool advanced;
    bool visible_io;
    bool sensitive;
    int io_count;
    bool inversion;
    bool trigger;
    PinRole role;
};

TEST(PinRowShape, ListsAndVisibilityFollowRolePinAndView) {
    const ShapeCase cases[] = {
        // "none" (and positions the list lacks) shows nothing but the signal list.
        {PIN_J2_6, 0, true, false, false, 0, false, false, ROLE_OUTPUT},
        {PIN_J2_6, -1, true, false, false, 0, false, false, ROLE_OUTPUT},
        {PIN_J2_6, 34, true, false, false, 0, false, false, ROLE_OUTPUT},
        {PIN_J2_3, 33, true, false, false, 0, false, false, ROLE_OUTPUT},
        // J1 pins: insensitive lists.
        {PIN_J1_3, LOCK, false, true, false, 1, false, false, ROLE_OUTPUT},
        {PIN_J1_3, LOCK, true, true, false, 1, true, true, ROLE_OUTPUT},
        {PIN_J1_3, SEND_LOCK, true, true, false, 3, true, false, ROLE_INPUT},
        {PIN_J1_4, SEND_HAZARD_LIGHTS, false, true, false, 1, false, false, ROLE_INPUT},
        // Limited pins: one compact entry per role.
        {PIN_J2_2, SEND_LOCK, false, true, true, 1, false, false, ROLE_INPUT},
        {PIN_J2_2, LOCK, false, true, true, 1, false, false, ROLE_OUTPUT},
        {PIN_J2_12, SEND_LOCK, true, true, true, 5, true, false, ROLE_INPUT},
        {PIN_J2_12, LOCK, true, true, true, 4, true, true, ROLE_OUTPUT},
        // Full pins.
        {PIN_J2_6, SEND_LOCK, false, true, true, 2, false, false, ROLE_INPUT},
        {PIN_J2_6, LOCK, false, true, true, 2, false, false, ROLE_OUTPUT},
        {PIN_J2_6, SEND_LOCK, true, true, true, 8, true, false, ROLE_INPUT},
        {PIN_J2_6, VEHICLE_SPEED, true, true, true, 6, true, true, ROLE_OUTPUT},
        {PIN_J2_7, 32, true, true, true, 6, true, true, ROLE_OUTPUT},  // Fiat_TX outputs
        {PIN_J2_7, 33, true, true, true, 6, true, true, ROLE_OUTPUT},
    };
    for (const ShapeCase& c : cases) {
        const PinRowShape s = pin_row_shape(c.pin, c.signal, c.advanced);
        SCOPED_TRACE(testing::Message() << "pin " << c.pin << " signal " << c.signal << " advanced " << c.advanced);
        EXPECT_EQ(s.io_visible, c.visible_io);
        EXPECT_EQ(s.io_sensitive, c.sensitive);
        EXPECT_EQ(s.io_count, c.io_count);
        EXPECT_EQ(s.inversion_visible, c.inversion);
        EXPECT_EQ(s.trigger_visible, c.trigger);
        if (s.has_signal) {
            EXPECT_EQ(s.role, c.role);
        }
    }
}

TEST(PinRowShape, TriggerNeverVisibleInTheCompactView) {
    for (int pin = 0; pin < PIN_COUNT; ++pin)
        for (int signal = 0; signal < signal_count(pin); ++signal)
            EXPECT_FALSE(pin_row_shape(pin, signal, false).trigger_visible) << pin << " " << signal;
}

TEST(PinRowShape, OutOfRangePinsShowNothing) {
    EXPECT_FALSE(pin_row_shape(-1, LOCK, true).has_signal);
    EXPECT_FALSE(pin_row_shape(PIN_COUNT, LOCK, true).has_signal);
}

TEST(IoCarryOver, OnlyOutputPinsFromJ22KeepAPositionTheNewListHas) {
    const struct {
        int pin;
        PinRole role;
        int previous;
        int count;
        int expected;
    } cases[] = {
        {PIN_J2_6, ROLE_OUTPUT, 5, 6, 5},  // Output- (max 16mA) stays
        {PIN_J2_6, ROLE_INPUT, 5, 8, 0},   // to a SEND signal: first entry
        {PIN_J2_12, ROLE_OUTPUT, 4, 4, 0}, // Input- (pull-up 64mA) has no output twin
        {PIN_J2_2, ROLE_OUTPUT, 3, 4, 3},
        {PIN_J2_2, ROLE_OUTPUT, -1, 4, 0}, // nothing chosen before
        {PIN_J1_3, ROLE_OUTPUT, 0, 1, 0},
        {PIN_J1_4, ROLE_OUTPUT, 2, 3, 0},  // J1 pins always start over
    };
    for (const auto& c : cases)
        EXPECT_EQ(io_position_after_signal_change(c.pin, c.role, c.previous, c.count), c.expected)
            << "pin " << c.pin << " previous " << c.previous;
}

TEST(PinWires, ColoursScaleTo16Bits) {
    EXPECT_EQ(PIN_WIRES[PIN_J2_5].label_message, 71);
    EXPECT_EQ(colour_component_16(PIN_WIRES[PIN_J1_3].upper, 16), 0xC5 * 257);
    EXPECT_EQ(colour_component_16(PIN_WIRES[PIN_J2_11].lower, 0), 0);
    EXPECT_EQ(colour_component_16(0xFFFFFF, 8), 0xFFFF);
    for (int pin = 0; pin < PIN_COUNT; ++pin) EXPECT_EQ(PIN_WIRES[pin].label_message, 66 + pin);
}

// A memory reply frame: length byte, code 0x06, two leading bytes, the data.
ReplyRecord memory_reply(uint8_t code, int data_bytes) {
    ReplyRecord r;
    r.bytes[0] = uint8_t(data_bytes + 1);
    r.bytes[1] = code;
    for (int i = 0; i < data_bytes; ++i) r.bytes[2 + i] = uint8_t(0x40 + i);
    r.length = data_bytes + 3;
    return r;
}

TEST(MemoryReply, NeedsTheCodeAndEnoughBytes) {
    const ReplyRecord full = memory_reply(REPLY_MEMORY, 2 + 10);
    const uint8_t* bytes = memory_reply_bytes(full, 10);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(bytes[0], 0x42);  // after the two leading bytes
    EXPECT_EQ(memory_reply_bytes(memory_reply(REPLY_MEMORY, 2 + 9), 10), nullptr) << "short reply";
    EXPECT_EQ(memory_reply_bytes(memory_reply(REPLY_ACKNOWLEDGE, 12), 10), nullptr) << "other code";
    EXPECT_EQ(memory_reply_bytes(memory_reply(REPLY_MEMORY, 0), 0), nullptr) << "no leading bytes";
}

TEST(Header, LevelAndVehicleNumber) {
    uint8_t header[HEADER_SIZE] = {};
    header[0] = 0xFE;
    header[4] = 0x04;
    header[5] = 0xF8;
    EXPECT_EQ(header_can_level(header), 255);
    EXPECT_EQ(header_vehicle_number(header), 1272);
    header[0] = 0x00;
    EXPECT_EQ(header_can_level(header), 1);
}

TEST(WriteBlockPayload, AddressCountBytesWithinBounds) {
    const uint8_t bytes[40] = {0x11, 0x22, 0x33};
    uint8_t out[MAX_WRITE_BLOCK + 2];
    ASSERT_EQ(write_block_payload(0x05, bytes, 2, out), 4);
    EXPECT_EQ(out[0], 0x05);
    EXPECT_EQ(out[1], 2);
    EXPECT_EQ(out[2], 0x11);
    EXPECT_EQ(out[3], 0x22);
    EXPECT_EQ(write_block_payload(0xC1, bytes, 28, out), 30);
    EXPECT_EQ(write_block_payload(0xE0, bytes, 32, out), 34) << "ends at the last address";
    EXPECT_EQ(write_block_payload(0x81, bytes, 0, out), 0);
    EXPECT_EQ(write_block_payload(0x81, bytes, 33, out), 0);
    EXPECT_EQ(write_block_payload(0xF0, bytes, 17, out), 0) << "past the end of memory";
    EXPECT_EQ(write_block_payload(-1, bytes, 1, out), 0);
}

TEST(CanLevel, OnlyLevelsTheHeaderCanHoldAreStorable) {
    for (int level : {0, 1, 3, 255, 256}) EXPECT_TRUE(can_level_storable(level)) << level;
    for (int level : {-1, 257, 1000}) EXPECT_FALSE(can_level_storable(level)) << level;
}

TEST(VariantAnswer, OnlyALetterAsksForAFirmwareChange) {
    EXPECT_TRUE(is_variant_letter('B'));
    EXPECT_FALSE(is_variant_letter(' '));
    EXPECT_FALSE(is_variant_letter(0));
}

}  // namespace
