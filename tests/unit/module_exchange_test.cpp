// The module's exchanges besides flashing, on the local link and through the relay
// from the operator's side: configuration memory, identification, signal map.
#include <gtest/gtest.h>

#include <cstring>

#include "app/connection.h"
#include "config/config_memory.h"
#include "config/memory_blocks.h"
#include "config/signal_monitor_table.h"
#include "relay_module_link.h"

namespace {

class ModuleExchange : public ::testing::TestWithParam<LinkKind> {
protected:
    void SetUp() override { ASSERT_TRUE(sim.start(SimSettings())) << (sim.relay() ? sim.relay()->error() : ""); }
    FrameLink& link() { return sim.link(); }
    uint8_t* memory() { return sim.module().memory(); }

    SimulatedModuleOnLink sim{GetParam()};
};

TEST_P(ModuleExchange, ConfigurationMemoryIsReadAndWrittenByteForByte) {
    memory()[LEVEL_ADDRESS] = 136 - 1;
    memory()[NUMBER_ADDRESS] = 0x12;
    memory()[NUMBER_ADDRESS + 1] = 0x34;
    for (int address = 0x81; address <= 0xDC; ++address) memory()[address] = uint8_t(address * 3);
    int level = 0, number = 0;
    ConfigImage image = blank_image();
    ASSERT_TRUE(read_config_header(link(), &level, &number));
    ASSERT_TRUE(read_pin_area(link(), &image));
    EXPECT_EQ(level, 136);
    EXPECT_EQ(number, 0x1234);
    EXPECT_EQ(0, std::memcmp(image.data() + 0x81, memory() + 0x81, 0xDC - 0x81 + 1));

    const ConfigImage defaults = default_image();
    ASSERT_TRUE(write_pin_area(link(), defaults));
    ASSERT_TRUE(write_can_level(link(), 3));
    ASSERT_TRUE(write_vehicle_number(link(), 87));
    finish_configuration(link());
    link().drain_frames();
    EXPECT_EQ(0, std::memcmp(defaults.data() + 0x81, memory() + 0x81, 0xDC - 0x81 + 1));
    EXPECT_EQ(memory()[LEVEL_ADDRESS], 2);
    EXPECT_EQ(memory()[NUMBER_ADDRESS + 1], 87);
}

TEST_P(ModuleExchange, ARefusedWriteIsNotTakenForWritten) {
    const uint8_t bytes[2] = {0x00, 0x05};
    sim.module().refuse_writes(1);
    EXPECT_FALSE(write_memory_block(link(), NUMBER_ADDRESS, bytes, 2));
    EXPECT_NE(memory()[NUMBER_ADDRESS + 1], 0x05);
    EXPECT_TRUE(write_memory_block(link(), NUMBER_ADDRESS, bytes, 2));
    EXPECT_EQ(memory()[NUMBER_ADDRESS + 1], 0x05);
}

TEST_P(ModuleExchange, IdentityAndSignalMapReachTheCaller) {
    ASSERT_TRUE(identify_module(link(), 20));
    EXPECT_EQ(decode_identity(link().reply()).model, SUPPORTED_MODEL);
    sim.module().set_signal_map(0x2000000001ull);
    uint64_t map = 0;
    ASSERT_TRUE(read_signal_map(link(), &map, READ_REPLY_ATTEMPTS));
    EXPECT_EQ(map, 0x2000000001ull);
}

INSTANTIATE_TEST_SUITE_P(Links, ModuleExchange, ::testing::Values(LinkKind::LOCAL, LinkKind::RELAY),
                         [](const auto& info) { return std::string(link_kind_name(info.param)); });

}  // namespace
