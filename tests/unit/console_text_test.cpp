// The console's texts: command codes, data escapes, echo, response line and history.
#include "diag/console_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct CommandCase {
    const char* text;
    int code;
};

TEST(ConsoleText, CommandCodeFromTheFirstTwoCharacters) {
    const CommandCase cases[] = {
        {"05", 0x05}, {"7f", 0x7F}, {"A0", 0xA0}, {"7fz", 0x7F},
        {"1g", -1},   {"g1", -1},   {"", -1},     {"5", -1},    {" 5", -1},
    };
    for (const CommandCase& c : cases) EXPECT_EQ(parse_console_command(c.text), c.code) << c.text;
}

struct DataCase {
    const char* text;
    std::vector<uint8_t> bytes;
};

TEST(ConsoleText, DataEscapes) {
    const DataCase cases[] = {
        {"", {}},
        {"AB", {0x41, 0x42}},
        {"\\x01\\x0a", {0x01, 0x0A}},
        {"\\X7F", {0x7F}},
        {"AB\\\\x41", {0x41, 0x42, 0x5C, 0x78, 0x34, 0x31}},  // backslash, then plain x41
        {"\\q", {'q'}},
        {"A\\x4", {0x41}},   // the cut escape gives nothing
        {"A\\x", {0x41}},
        {"A\\", {0x41}},
        {"\\x4g", {0xFF}},   // bad second digit
        {"\\xg4", {0xF4}},   // bad first digit
        {"\\xzz", {0xFF}},
    };
    for (const DataCase& c : cases) {
        uint8_t bytes[16] = {};
        const int n = parse_console_data(c.text, bytes, 16);
        EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + (n > 0 ? n : 0)), c.bytes) << c.text;
    }
}

TEST(ConsoleText, DataBeyondTheFrameIsRefused) {
    uint8_t bytes[4] = {};
    EXPECT_EQ(parse_console_data("ABCD", bytes, 4), 4);
    EXPECT_EQ(parse_console_data("ABCDE", bytes, 4), -1);
    EXPECT_EQ(parse_console_data("ABC\\x41\\x42", bytes, 4), -1);
}

TEST(ConsoleText, EchoKeepsTheCommandAsTyped) {
    char out[64];
    EXPECT_EQ(std::string(out, size_t(format_console_echo("05", "\\x01\\x0a", out, sizeof out))),
              "\\x05 \\x01\\x0a\n");
    EXPECT_EQ(std::string(out, size_t(format_console_echo("7fz", "", out, sizeof out))), "\\x7f \n");
}

TEST(ConsoleText, ResponseLine) {
    char out[RESPONSE_LINE_CAPACITY];
    const uint8_t abc[] = {0x41, 0x42, 0x0D};
    EXPECT_EQ(std::string(out, size_t(format_response_line(abc, 3, out))), "01 - 41420D - \"AB?\"\n");
    const uint8_t spaced[] = {'a', ' ', 0x1F};  // 32 is the first shown as itself
    EXPECT_EQ(std::string(out, size_t(format_response_line(spaced, 3, out))), "01 - 61201F - \"a ?\"\n");
    const uint8_t high[] = {0xC1, 0x00};
    EXPECT_EQ(std::string(out, size_t(format_response_line(high, 2, out))), "01 - C100 - \"A?\"\n");
    EXPECT_EQ(std::string(out, size_t(format_response_line(abc, 0, out))), "01 -  - \"\"\n");
}

TEST(ConsoleText, LongResponseIsCutBeforeTheClosingQuote) {
    std::vector<uint8_t> data(400, 'z');
    char out[RESPONSE_LINE_CAPACITY];
    const int n = format_response_line(data.data(), int(data.size()), out);
    EXPECT_EQ(n, RESPONSE_TEXT_LIMIT + 2);
    EXPECT_EQ(std::string(out + n - 3), "z\"\n");
}

TEST(CommandHistoryTest, RepeatedSendTakesOneSlotAndUpRecallsTheOneBefore) {
    CommandHistory h;
    history_remember(h, "01", "A");
    history_remember(h, "02", "B");
    history_remember(h, "02", "B");
    EXPECT_EQ(h.history_index, 1);
    const int slot = history_step(h, "02", "B", -1);
    EXPECT_STREQ(h.command[slot], "01");
    EXPECT_STREQ(h.data[slot], "A");
}

TEST(CommandHistoryTest, SlotsKeepThreeCommandAndNinetyNineDataCharacters) {
    CommandHistory h;
    history_remember(h, "0123", std::string(150, 'd').c_str());
    EXPECT_STREQ(h.command[0], "012");
    EXPECT_EQ(std::string(h.data[0]), std::string(99, 'd'));
}

TEST(CommandHistoryTest, HundredStepsComeBackToTheSameSlot) {
    for (int start : {0, 42, 99}) {
        CommandHistory h;
        h.history_browse = start;
        for (int i = 0; i < HISTORY_SLOTS; ++i) history_step(h, "", "", -1);
        EXPECT_EQ(h.history_browse, start);
    }
    CommandHistory h;
    EXPECT_EQ(history_step(h, "", "", -1), 98);
    EXPECT_EQ(history_step(h, "", "", +1), 99);
    EXPECT_EQ(history_step(h, "", "", +1), 0);  // wraps
}

TEST(CommandHistoryTest, EditedRecalledLineStaysInItsSlot) {
    CommandHistory h;
    history_remember(h, "01", "A");
    history_remember(h, "02", "B");
    const int first = history_step(h, "02", "B", -1);
    history_step(h, "01", "edited", +1);  // leaves the recalled slot with its new text
    EXPECT_STREQ(h.data[first], "edited");
}

TEST(CommandHistoryTest, EmptyEntriesNeverEraseASentCommand) {
    CommandHistory h;
    history_remember(h, "05", "A");
    history_step(h, "", "", -1);
    EXPECT_STREQ(h.command[0], "05");
    EXPECT_EQ(history_step(h, "", "", +1), 0);
}

TEST(CommandHistoryTest, WrapsAfterAHundredCommands) {
    CommandHistory h;
    for (int i = 0; i <= HISTORY_SLOTS; ++i) history_remember(h, "01", std::to_string(i).c_str());
    EXPECT_EQ(h.history_index, 0);
    EXPECT_STREQ(h.data[0], "100");
    EXPECT_STREQ(h.data[1], "1");
}

}  // namespace
