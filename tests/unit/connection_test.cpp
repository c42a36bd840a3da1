// Judging identity replies, the window size rule and the single-instance count.
#include "connection/connection.h"

#include <gtest/gtest.h>

#include "app/single_instance.h"
#include "app/window_sizing.h"

namespace {

ReplyRecord identity_reply(std::initializer_list<uint8_t> data) {
    ReplyRecord reply;
    reply.bytes[0] = uint8_t(data.size() + 1);
    reply.bytes[1] = 0x08;
    int i = 2;
    for (uint8_t b : data) reply.bytes[i++] = b;
    reply.length = i + 1;
    return reply;
}

TEST(Identity, DecodesModelVersionAndVariant) {
    struct Case {
        std::initializer_list<uint8_t> data;
        int model, version, letter, flag;
    };
    const Case cases[] = {
        {{0xC2, 0x01, 16, 5, 0x01}, 450, 0x1005, 'A', 0},
        {{0x2D, 0x20, 16, 5, 0x02}, 450, 0x1005, 'B', 0},  // '-' ' ' stands for 450
        {{0xC2, 0x01, 16, 5}, 450, 0x1005, 0, 0},          // four data bytes: no variant
        {{0xC2, 0x01, 16, 5, 0x81}, 450, 0x1005, 'A', 0x80},
        {{0xC2, 0x01, 16, 5, 0x80}, 450, 0x1005, 0, 0x80},
        {{0xC3, 0x01, 17, 2, 0x00}, 451, 0x1102, 0, 0},
        {{0x2D, 0x21, 1, 2}, 0x212D, 0x0102, 0, 0},
    };
    for (const Case& c : cases) {
        const DeviceIdentity identity = decode_identity(identity_reply(c.data));
        EXPECT_EQ(identity.model, c.model);
        EXPECT_EQ(identity.firmware_version, c.version);
        EXPECT_EQ(identity.variant_letter, c.letter);
        EXPECT_EQ(identity.variant_flag, c.flag);
    }
}

TEST(Identity, FormatsStatusAndRefusal) {
    ReplyRecord reply = identity_reply({0xC2, 0x01, 16, 5, 0x01});
    char text[200];
    format_module_status(reply, decode_identity(reply), text, sizeof text);
    EXPECT_STREQ(text, "QV450-1605");
    reply = identity_reply({0xC3, 0x01, 7, 3});
    format_incompatible_text(reply, decode_identity(reply), text, sizeof text);
    EXPECT_STREQ(text, "Program will not work with this firmware version.\n(0451-0703/255-255).");
}

TEST(Identity, HandshakeNeedsCodeSevenWithTwoAndOne) {
    ReplyRecord reply;
    reply.bytes[1] = 0x07;
    reply.bytes[2] = 0x02;
    reply.bytes[3] = 0x01;
    EXPECT_TRUE(is_handshake_reply(reply));
    reply.bytes[3] = 0x02;
    EXPECT_FALSE(is_handshake_reply(reply));
    reply.bytes[1] = 0x08;
    reply.bytes[3] = 0x01;
    EXPECT_FALSE(is_handshake_reply(reply));
}

TEST(WindowSizing, EveryMonitorMustHoldTheFixedSize) {
    EXPECT_TRUE(fits_fixed_size({}));
    EXPECT_TRUE(fits_fixed_size({{880, 675}}));
    EXPECT_TRUE(fits_fixed_size({{1920, 1040}, {1280, 1024}}));
    EXPECT_FALSE(fits_fixed_size({{1920, 1040}, {800, 1024}}));
    EXPECT_FALSE(fits_fixed_size({{1920, 674}}));
    // Width and height are the smallest of any monitor, taken separately.
    EXPECT_FALSE(fits_fixed_size({{2000, 600}, {600, 2000}}));
}

TEST(SingleInstance, CountsProgramsWhoseNameEndsWithOurs) {
    const std::vector<std::string> running = {"bash", "qv450", "my-qv450", "qv45", "Qv450", "qv450 (deleted)",
                                              "qv450-relay", "qv450-cli", "qv450_unit_tests"};
    EXPECT_EQ(count_own_instances(running, "/usr/bin/qv450"), 3);
    EXPECT_EQ(count_own_instances(running, "qv450"), 3);
    EXPECT_EQ(count_own_instances(running, "/opt/x/my-qv450"), 1) << "a differently named copy is not found";
    EXPECT_EQ(count_own_instances({}, "/usr/bin/qv450"), 0);
}

}  // namespace
