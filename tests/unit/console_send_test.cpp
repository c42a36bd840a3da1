// Sending console commands to the simulated module on virtual time: echo, frame,
// response wait, history.
#include "diag/console_send.h"

#include <gtest/gtest.h>

#include <string>

#include "config/config_memory.h"
#include "device/link.h"
#include "diag/console_text.h"
#include "diag/event_log.h"
#include "platform/clock.h"
#include "sim/sim_backend.h"
#include "unit/fresh_link.h"

namespace {

std::string log_string() { return std::string(event_log.log_text, size_t(event_log.log_end)); }

// The log without its time stamps: each stamp leaves only its direction character.
std::string unstamped() {
    std::string out;
    const std::string text = log_string();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '[' && i + LOG_STAMP_LENGTH <= text.size()) i += LOG_STAMP_LENGTH - 1;
        out += text[i];
    }
    return out;
}

class ConsoleSendTest : public ::testing::Test {
protected:
    void SetUp() override {
        start_with_fresh_link();
        clear_log();
        event_log.line_start_pending = true;
        command_history = CommandHistory();
        install_hid_backend(&backend);
        ASSERT_EQ(link_open(), 1);
    }
    void TearDown() override {
        link_close();
        install_hid_backend(nullptr);
    }
    platform::ScopedVirtualClock clock;
    SimModule module;
    SimBackend backend{module};
};

TEST_F(ConsoleSendTest, SendsTheFrameAndLogsEchoAndResponse) {
    EXPECT_EQ(console_send_texts("7f", "AB\\x0d", true), ConsoleSend::SENT);
    ASSERT_FALSE(module.received.empty());
    EXPECT_EQ(module.received.back().command, 0x7F);
    EXPECT_EQ(module.received.back().data, (std::vector<uint8_t>{0x41, 0x42, 0x0D}));
    EXPECT_EQ(unstamped(), "\n<\\x7f AB\\x0d\r\n>01 - 7F41420D - \"\x7F" "AB?\"\r\n");
}

TEST_F(ConsoleSendTest, WithoutResponseOnlyTheEchoIsLogged) {
    console_send_texts("20", "", false);
    EXPECT_EQ(unstamped(), "\n<\\x20 \r\n");
    EXPECT_EQ(module.received.back().command, 0x20);
}

TEST_F(ConsoleSendTest, BadCommandDoesNothing) {
    const int frames = module.counters.frames;
    EXPECT_EQ(console_send_texts("1g", "AB", true), ConsoleSend::BAD_COMMAND);
    EXPECT_EQ(console_send_texts("3", "AB", true), ConsoleSend::BAD_COMMAND);
    EXPECT_EQ(console_send_texts("30", std::string(FRAME_MAX_DATA + 1, 'a').c_str(), true),
              ConsoleSend::DATA_TOO_LONG);
    EXPECT_EQ(event_log.log_end, 0);
    EXPECT_EQ(module.counters.frames, frames);
    EXPECT_EQ(command_history.history_index, HISTORY_SLOTS - 1) << "nothing remembered";
}

TEST_F(ConsoleSendTest, EventTextsWaitingBeforeTheCommandAreLoggedAfterTheEcho) {
    module.queue_event_text("1* DOOR opened\r\n");
    console_send_texts("21", "", true);
    EXPECT_EQ(unstamped(), "\n<\\x21 \r\n>1* DOOR opened\r\n>01 - 21 - \"!\"\r\n");
}

TEST_F(ConsoleSendTest, OtherRepliesAreDroppedAndNoAnswerIsSilent) {
    const uint64_t start = clock.now_ms();
    console_send_texts("08", "\\x00", true);  // the signal map answers with 0x09
    EXPECT_EQ(unstamped(), "\n<\\x08 \\x00\r\n");
    EXPECT_GE(clock.now_ms() - start, uint64_t(RESPONSE_PAUSES * RESPONSE_PAUSE_MS));
}

TEST_F(ConsoleSendTest, WithoutAModuleTheEchoIsLoggedAndTheWaitEnds) {
    link_close();
    const uint64_t start = clock.now_ms();
    EXPECT_EQ(console_send_texts("05", "", true), ConsoleSend::SENT);
    EXPECT_EQ(unstamped(), "\n<\\x05 \r\n");
    EXPECT_EQ(clock.now_ms() - start, uint64_t(RESPONSE_PAUSES * RESPONSE_PAUSE_MS));
}

TEST_F(ConsoleSendTest, EventTextDuringAConfigurationWriteReachesTheLog) {
    module.queue_event_text("1* IGN Ignition on\r\n");
    const uint8_t block[4] = {1, 2, 3, 4};
    ASSERT_TRUE(write_memory_block(local_link(), 0x81, block, 4));
    EXPECT_EQ(module.memory()[0x81], 1);
    EXPECT_NE(log_string().find(">1* IGN Ignition on\r\n"), std::string::npos);
}

}  // namespace
