// The event log's text: stamps, line ends, the cut at capacity.
#include "diag/event_log.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace {

void log_text(LogDirection direction, const std::string& text) {
    log_message(direction, reinterpret_cast<const uint8_t*>(text.data()), int(text.size()));
}

std::string log_string() { return std::string(event_log.log_text, size_t(event_log.log_end)); }

const std::string STAMP = R"(\[\d{4}\.\d{2}\.\d{2} \d{2}:\d{2}:\d{2}\])";

class EventLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        clear_log();
        event_log.line_start_pending = true;
    }
};

TEST_F(EventLogTest, ModuleTextsContinueALineUntilItEnds) {
    log_text(LOG_RECEIVED, "* IGN ");
    log_text(LOG_RECEIVED, "on\n");
    log_text(LOG_RECEIVED, "next\r\n");
    EXPECT_TRUE(std::regex_match(log_string(), std::regex(STAMP + ">\\* IGN on\r\n" + STAMP + ">next\r\n")))
        << log_string();
}

TEST_F(EventLogTest, SentTextStartsOnALineOfItsOwn) {
    log_text(LOG_RECEIVED, "done\n");
    log_text(LOG_SENT, "\\x05 \\x01\n");
    EXPECT_TRUE(std::regex_match(log_string(), std::regex(STAMP + ">done\r\n\n" + STAMP + "<\\\\x05 \\\\x01\r\n")))
        << log_string();
}

TEST_F(EventLogTest, OnlyTheLowSevenBitsCountAndZeroEndsTheMessage) {
    const uint8_t bytes[] = {'a', 0x8A, 'b', 0x00, 'c'};
    log_message(LOG_RECEIVED, bytes, 5);
    EXPECT_TRUE(std::regex_match(log_string(), std::regex(STAMP + ">a\r\n" + STAMP + ">b"))) << log_string();
}

TEST_F(EventLogTest, StampTakesTwentyTwoCharacters) {
    log_text(LOG_RECEIVED, "x");
    EXPECT_EQ(event_log.log_end, LOG_STAMP_LENGTH + 1);
    EXPECT_EQ(event_log.log_text[LOG_STAMP_LENGTH - 1], '>');
}

TEST_F(EventLogTest, FullLogDropsItsOldestFiftyThousandBytes) {
    const std::string line(99, 'x');
    while (event_log.log_end < LOG_CAPACITY - LOG_MIN_FREE) log_text(LOG_RECEIVED, line);
    const int before = event_log.log_end;
    log_text(LOG_RECEIVED, "y");
    EXPECT_EQ(event_log.log_end, before - LOG_CUT + 1);
    EXPECT_EQ(event_log.log_text[event_log.log_end - 1], 'y');
    EXPECT_EQ(event_log.log_text[event_log.log_end], '\0');
}

TEST_F(EventLogTest, AMessageOfLineEndsNeverOverflowsTheLog) {
    // Each LF becomes CR LF plus a stamp: far more text than the 2048 bytes kept free.
    const std::string line_ends(4000, '\n');
    for (int i = 0; i < 5; ++i) log_text(LOG_RECEIVED, line_ends);
    EXPECT_LT(event_log.log_end, LOG_CAPACITY);
    EXPECT_EQ(event_log.log_text[event_log.log_end], '\0');
}

}  // namespace
