// The kit's string and hexadecimal helpers.
#include "text/text_helpers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

TEST(HexDigitValue, DigitsAndLettersOfBothCases) {
    const char* digits = "0123456789";
    for (int i = 0; i < 10; ++i) EXPECT_EQ(hex_digit_value(digits[i]), i);
    const char* upper = "ABCDEF";
    const char* lower = "abcdef";
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(hex_digit_value(upper[i]), 10 + i);
        EXPECT_EQ(hex_digit_value(lower[i]), 10 + i);
    }
}

TEST(HexDigitValue, EverythingElseIsMinusOne) {
    for (char c : {'g', 'G', ' ', '/', ':', '@', '`', '\0', '\n', '-', 'x', char(0xC3), char(0x80)})
        EXPECT_EQ(hex_digit_value(c), -1) << int(c);
}

struct HexCase {
    const char* text;
    int maximum;
    int result;
    std::vector<uint8_t> stored;  // the bytes written before the call ended
};

const HexCase HEX_CASES[] = {
    {"1a2", 4, 1, {0x1A}},                  // a trailing single digit is ignored
    {"1A2B3C", 2, 2, {0x1A, 0x2B}},         // cut after 2 * maximum digits, no error
    {"", 4, 0, {}},
    {"00ff7F", 3, 3, {0x00, 0xFF, 0x7F}},
    {"1A2B3C", 0, 0, {}},                   // no budget: nothing is looked at
    {"1A2Bzz", 2, 2, {0x1A, 0x2B}},         // the bad characters lie past the budget
    {"1A 2B", 4, -1, {0x1A}},               // spaces are not skipped
    {"1A2g", 4, -1, {0x1A}},                // a bad second digit: the first pair stays
    {"g1", 4, -1, {}},
    {"1/", 4, -1, {}},
};

TEST(ParseHexBytes, TableOfGoodAndBadTexts) {
    for (const HexCase& c : HEX_CASES) {
        uint8_t destination[8];
        std::memset(destination, 0xEE, sizeof destination);
        EXPECT_EQ(parse_hex_bytes(destination, c.text, c.maximum), c.result) << c.text;
        for (size_t i = 0; i < c.stored.size(); ++i) EXPECT_EQ(destination[i], c.stored[i]) << c.text;
        // Nothing beyond the stored bytes is touched.
        EXPECT_EQ(destination[c.stored.size()], 0xEE) << c.text;
    }
}

TEST(ZeroFill, ClearsExactlyCountBytes) {
    unsigned char bytes[6] = {1, 2, 3, 4, 5, 6};
    zero_fill(bytes + 1, 4);
    const unsigned char expected[6] = {1, 0, 0, 0, 0, 6};
    EXPECT_EQ(std::memcmp(bytes, expected, 6), 0);
    zero_fill(bytes, 0);
    EXPECT_EQ(bytes[0], 1);
}

TEST(CopyStringEnd, ReturnsTheTerminatorSoTextsAppend) {
    char buffer[32];
    std::memset(buffer, 'x', sizeof buffer);
    char* end = copy_string_end(buffer, "abc");
    EXPECT_EQ(end, buffer + 3);
    EXPECT_EQ(*end, '\0');
    end = copy_string_end(end, "");
    EXPECT_EQ(end, buffer + 3);
    end = copy_string_end(end, "de");
    EXPECT_STREQ(buffer, "abcde");
    EXPECT_EQ(end, buffer + 5);
    EXPECT_EQ(buffer[6], 'x');
}

TEST(DecimalTextValue, ReadsLikeAtoi) {
    const struct {
        const char* text;
        int value;
    } cases[] = {
        {"12ab", 12}, {"", 0}, {"abc", 0}, {"  \t\n42", 42}, {"-7", -7}, {"+8", 8},
        {"- 3", 0},   {"0012", 12}, {"3 4", 3}, {"--1", 0}, {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1}, {"99999999999999999999999", 2147483647},
        {"-99999999999999999999999", -2147483647 - 1},
    };
    for (const auto& c : cases) EXPECT_EQ(decimal_text_value(c.text), c.value) << c.text;
}

}  // namespace
