// Reading the module's signal map reply and where each bit's cell sits.
#include "config/signal_monitor_table.h"

#include <gtest/gtest.h>

#include <initializer_list>

namespace {

ReplyRecord reply(uint8_t code, std::initializer_list<uint8_t> data) {
    ReplyRecord r;
    r.bytes[0] = uint8_t(data.size() + 1);
    r.bytes[1] = code;
    int i = 2;
    for (uint8_t b : data) r.bytes[i++] = b;
    r.length = i + 1;
    return r;
}

TEST(SignalMap, LeastSignificantBitFirst) {
    uint64_t map = 0;
    ASSERT_TRUE(decode_signal_map(reply(0x09, {0x01, 0x00, 0x00, 0x00, 0x20}), &map));
    for (int bit = 0; bit < MONITOR_SIGNAL_COUNT; ++bit)
        EXPECT_EQ(signal_bit_set(map, bit), bit == 0 || bit == 37) << bit;
    EXPECT_STREQ(MONITOR_TABLE[0].label, "LOCK");
    EXPECT_EQ(monitor_column(0), 0);
    EXPECT_EQ(monitor_row(0), 0);
    EXPECT_STREQ(MONITOR_TABLE[37].label, "REVERSE_LIGHT");
    EXPECT_EQ(monitor_column(37), 4);  // last column
    EXPECT_EQ(monitor_row(37), 5);     // sixth cell
}

TEST(SignalMap, OtherRepliesLeaveTheMapAlone) {
    uint64_t map = 0x1234;
    EXPECT_FALSE(decode_signal_map(reply(0x01, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), &map));
    EXPECT_FALSE(decode_signal_map(reply(0x00, {}), &map));
    // A short map would read the rest from an older frame.
    EXPECT_FALSE(decode_signal_map(reply(0x09, {0xFF, 0xFF, 0xFF, 0xFF}), &map));
    EXPECT_EQ(map, 0x1234u);
    ASSERT_TRUE(decode_signal_map(reply(0x09, {0x00, 0x00, 0x00, 0x00, 0xFF, 0x77}), &map));
    EXPECT_EQ(map, 0xFF00000000u) << "only the 40 bits count";
}

}  // namespace
