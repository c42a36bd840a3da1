// The module's exchanges besides flashing, on the local link and through the relay
// from the operator's side: configuration memory, identification, signal map.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>

#include "cli/cli_commands.h"
#include "config/config_memory.h"
#include "config/memory_blocks.h"
#include "config/signal_monitor_table.h"
#include "connection/connection.h"
#include "platform/clock.h"
#include "relay_module_link.h"

namespace {

class ModuleExchange : public ::testing::TestWithParam<LinkKind> {
protected:
    void SetUp() override { ASSERT_TRUE(sim.start(SimSettings())) << sim.error(); }
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

// Where the requests go out together, an answer lost, refused or crowded by an event
// text must neither be taken from another block nor hide a failure.
TEST_P(ModuleExchange, PinAreaAnswersAreMatchedToTheirBlocks) {
    struct Case {
        const char* fault;
        void (*seed)(SimModule&);
        bool write, local_ok, relay_ok;
    };
    const Case cases[] = {
        {"lost read answer", [](SimModule& m) { m.lose_replies(1); }, false, false, true},
        {"lost acknowledgement", [](SimModule& m) { m.lose_replies(1); }, true, false, true},
        {"refused write", [](SimModule& m) { m.refuse_writes(1); }, true, false, false},
        // The first block refused without a word: the other two acknowledgements prove nothing.
        {"silently dropped write", [](SimModule& m) { m.refuse_writes(1), m.lose_replies(1); }, true, false, true},
        {"event text first", [](SimModule& m) { m.queue_event_text("1* DOOR opened"); }, true, true, true},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(sim.start(SimSettings())) << sim.error();
        for (int address = 0x81; address <= 0xDC; ++address) memory()[address] = uint8_t(address * 3);
        c.seed(sim.module());
        ConfigImage image = c.write ? default_image() : blank_image();
        const bool done = c.write ? write_pin_area(link(), image) : read_pin_area(link(), &image);
        EXPECT_EQ(done, GetParam() == LinkKind::LOCAL ? c.local_ok : c.relay_ok) << c.fault;
        if (done) {
            EXPECT_EQ(0, std::memcmp(image.data() + 0x81, memory() + 0x81, 0xDC - 0x81 + 1)) << c.fault;
        }
    }
}

TEST_P(ModuleExchange, IdentityAndSignalMapReachTheCaller) {
    // The variant byte is there only when the length byte says so.
    for (const auto& variant : {std::make_pair(0x02, 'B'), std::make_pair(-1, '\0')}) {
        SimSettings settings;
        settings.variant_byte = variant.first;
        ASSERT_TRUE(sim.start(settings)) << sim.error();
        ASSERT_TRUE(identify_module(link(), 20));
        const DeviceIdentity identity = decode_identity(link().reply());
        EXPECT_EQ(identity.model, SUPPORTED_MODEL);
        EXPECT_EQ(identity.firmware_version, 0x1005);
        EXPECT_EQ(identity.variant_letter, variant.second);
    }
    sim.module().set_signal_map(0x2000000001ull);
    uint64_t map = 0;
    ASSERT_TRUE(read_signal_map(link(), &map, READ_REPLY_ATTEMPTS));
    EXPECT_EQ(map, 0x2000000001ull);
}

// An answer nobody took must never pass for the answer to the next request: the
// link drains the module first, whatever it believes it knows about the module.
TEST_P(ModuleExchange, AStaleAnswerIsNeverTakenForTheAnswer) {
    const struct {
        const char* name;
        bool poll_on_its_way;  // the main loop's poll travels while the request is queued
    } cases[] = {{"after a request left unanswered", false}, {"queued while a poll travels", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(sim.start(SimSettings())) << sim.error();
        memory()[LEVEL_ADDRESS] = 136 - 1;
        link().drain_frames();
        if (c.poll_on_its_way) link().poll_frame_without_waiting();
        // A read of ten pin-area bytes, whose answer looks like a header's.
        const uint8_t stale[2] = {0x81, HEADER_SIZE};
        link().send_frame(COMMAND_READ_MEMORY, stale, 2);
        int level = 0, number = 0;
        ASSERT_TRUE(read_config_header(link(), &level, &number));
        EXPECT_EQ(level, 136);
    }
}

// The main loop's poll that does not wait: it brings the answer a waiting poll would,
// and exchanges begun while its answer travels get their own answers, not that one.
TEST_P(ModuleExchange, APollThatDoesNotWaitKeepsTheExchangesInStep) {
    memory()[LEVEL_ADDRESS] = 136 - 1;
    for (bool interrupted : {false, true}) {
        SCOPED_TRACE(interrupted ? "interrupted by a read" : "polled to the end");
        link().send_frame(0x04, nullptr, 0);
        PollState poll = PollState::ON_ITS_WAY;
        for (int pass = 0; pass < 100000 && poll != PollState::FRAME; ++pass) {
            poll = link().poll_frame_without_waiting();
            if (interrupted) break;
        }
        if (!interrupted) {
            ASSERT_EQ(poll, PollState::FRAME);
            EXPECT_EQ(decode_identity(link().reply()).model, SUPPORTED_MODEL);
            continue;
        }
        link().close();
        ASSERT_EQ(link().open(), 1);
        int level = 0, number = 0;
        ASSERT_TRUE(read_config_header(link(), &level, &number));
        EXPECT_EQ(level, 136);
    }
}

TEST(OperatorCommandLine, BadCommandsAreRefusedBeforeAnythingWaits) {
    const std::vector<std::pair<std::vector<std::string>, const char*>> cases = {
        {{"read-config"}, ""},
        {{"monitor", "3"}, ""},
        {{"monitor"}, ""},
        {{"reed-config"}, "unknown command reed-config"},
        {{"monitor", "abc"}, "monitor: COUNT must be a whole number from 1 on, not \"abc\""},
        {{"monitor", "0"}, "monitor: COUNT must be a whole number from 1 on, not \"0\""},
        {{"flash"}, "flash needs one argument"},
        {{"state", "now"}, "state takes no argument"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_EQ(check_cli_command(c.first, &error), !*c.second) << c.first[0];
        EXPECT_EQ(error, c.second);
    }
}

// Told of every wait for the tool: gives up, or lets the tool go on, once a wait has
// lasted `act_ms`.
class StallWatch : public AnswerWait {
public:
    StallWatch(int act_ms, std::function<bool()> act) : act_ms_(act_ms), act_(std::move(act)) {}
    bool waiting(int waited_ms, bool blocking) override {
        (blocking ? blocking_ : looking_) = true;
        return waited_ms < act_ms_ || act_();
    }
    void wait_over() override { ++over_; }
    bool blocking_ = false, looking_ = false;
    int over_ = 0;

private:
    int act_ms_;
    std::function<bool()> act_;
};

// A session that stops answering: the waits are told, last as long as the one told
// lets them, and end the link once it gives up; the main loop's poll is told too.
TEST(StalledSession, WaitsLastUntilGivenUp) {
    SimulatedModuleOnLink sim(LinkKind::RELAY);
    ASSERT_TRUE(sim.start(SimSettings())) << sim.error();
    StallWatch resumed(200, [&sim] { return sim.pause_tool(false), true; });
    sim.connection().set_answer_wait(&resumed);
    sim.pause_tool(true);
    int level = 0, number = 0;
    EXPECT_TRUE(read_config_header(sim.link(), &level, &number));
    EXPECT_TRUE(resumed.blocking_);
    EXPECT_GT(resumed.over_, 0);

    StallWatch given_up(200, [] { return false; });
    sim.connection().set_answer_wait(&given_up);
    sim.pause_tool(true);
    PollState poll = PollState::ON_ITS_WAY;
    while (poll == PollState::ON_ITS_WAY) {
        platform::sleep_ms(5);  // a main-loop pass's pause: the link's wait goes on in virtual time
        poll = sim.link().poll_frame_without_waiting();
    }
    EXPECT_TRUE(given_up.looking_);
    EXPECT_FALSE(read_config_header(sim.link(), &level, &number));
    EXPECT_NE(sim.relay_link().error().find("given up"), std::string::npos) << sim.relay_link().error();
    sim.connection().set_answer_wait(nullptr);
    sim.pause_tool(false);
}

// A GUI handles its events while an exchange waits for the tool; an action started
// from one of them (a screen reader's click gets past the input grab) must not run its
// exchanges inside the waiting one: they would take its answers and leave it waiting
// for ever, and the session stalled with the module's old firmware on the screen.
TEST(StalledSession, AnExchangeStartedInsideAWaitIsRefused) {
    const struct {
        const char* name;
        std::function<bool(FrameLink&)> nested;  // true when it got through
    } cases[] = {
        {"a configuration read", [](FrameLink& link) {
             int level = 0, number = 0;
             return read_config_header(link, &level, &number);
         }},
        {"a frame and its poll", [](FrameLink& link) { return link.send_command(0x04, nullptr, 0), link.poll_frame(); }},
        {"the hand-over to the bootloader", [](FrameLink& link) {
             const uint8_t listen = '0';
             return link.boot_send(&listen, 1) || link.boot_read(5);
         }},
        {"the module found again after a flash", [](FrameLink& link) { return link.close(), !link.is_open(); }},
    };
    SimulatedModuleOnLink sim(LinkKind::RELAY);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(sim.start(SimSettings())) << sim.error();
        sim.module().memory()[LEVEL_ADDRESS] = 136 - 1;
        bool got_through = true, busy = false;
        int calls = 0;
        StallWatch event_handled(0, [&] {
            if (calls++ == 0) {
                busy = sim.link().busy();
                got_through = c.nested(sim.link());
                sim.pause_tool(false);
            }
            return calls < 400;  // a wait robbed of its answers gives up
        });
        sim.connection().set_answer_wait(&event_handled);
        sim.pause_tool(true);
        int level = 0, number = 0;
        EXPECT_TRUE(read_config_header(sim.link(), &level, &number));
        EXPECT_EQ(level, 136);
        EXPECT_TRUE(busy);
        EXPECT_FALSE(got_through);
        sim.connection().set_answer_wait(nullptr);
        EXPECT_FALSE(sim.link().busy());
        EXPECT_TRUE(read_config_header(sim.link(), &level, &number)) << sim.relay_link().error();
        sim.pause_tool(false);
    }
}

INSTANTIATE_TEST_SUITE_P(Links, ModuleExchange, ::testing::Values(LinkKind::LOCAL, LinkKind::RELAY),
                         [](const auto& info) { return std::string(link_kind_name(info.param)); });

}  // namespace
