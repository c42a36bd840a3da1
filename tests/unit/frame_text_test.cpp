// Frame text encoding and decoding.
#include "device/frame_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <memory>
#include <random>
#include <vector>

#include "unit/fuzz_input.h"

namespace {

std::string frame(uint8_t command, std::initializer_list<uint8_t> data) {
    char text[FRAME_TEXT_CAPACITY];
    const std::vector<uint8_t> bytes(data);
    build_frame_text(command, bytes.data(), int(bytes.size()), text);
    return text;
}

bool parses(const std::string& text, int* decoded = nullptr, int* consumed = nullptr) {
    uint8_t out[512];
    int d = 0, c = 0;
    const bool ok = parse_frame_text(text.c_str(), int(text.size()), out, sizeof out, &d, &c);
    if (decoded) *decoded = d;
    if (consumed) *consumed = c;
    return ok;
}

TEST(FrameText, BuildsTheDocumentedExamples) {
    EXPECT_EQ(frame(0x01, {}), "!0101AC#");
    EXPECT_EQ(frame(0x08, {0x00}), "!02080009#");
    EXPECT_EQ(frame(0x04, {}), "!0104AF#");
}

TEST(FrameText, ChunkControlAndLength) {
    EXPECT_EQ(frame_chunk_control(7, true, false), 0x0F);
    EXPECT_EQ(frame_chunk_control(1, false, true), 0xC2);
    EXPECT_EQ(frame_chunk_control(7, false, true), 0xCE);
    EXPECT_EQ(frame_chunk_control(7, true, true), 0xCF);
    EXPECT_EQ(frame_chunk_length(14), 7);
    EXPECT_EQ(frame_chunk_length(8), 7);
    EXPECT_EQ(frame_chunk_length(7), 7);
    EXPECT_EQ(frame_chunk_length(3), 3);
}

TEST(FrameText, ParsesAValidFrameAndReportsWhatItUsed) {
    int decoded = 0, consumed = 0;
    ASSERT_TRUE(parses("!0101AC#!0101AC#", &decoded, &consumed));
    EXPECT_EQ(decoded, 3);
    EXPECT_EQ(consumed, 8);
    ASSERT_TRUE(parses("!0101AC", &decoded, &consumed));  // the end of the text ends it too
    EXPECT_EQ(consumed, 7);
}

TEST(FrameText, RejectsDamagedFrames) {
    const char* bad[] = {
        "",           // nothing
        "0101AC#",    // no "!"
        "!0101ac#",   // lower-case digits
        "!0101AD#",   // checksum
        "!0201AD#",   // length byte says one data byte more
        "!0101A#",    // half a byte before "#"
        "!0101AC0",   // half a byte at the end
        "!#",         // no bytes at all
        "!01G1AC#",   // not a digit
    };
    for (const char* text : bad) EXPECT_FALSE(parses(text)) << text;
}

TEST(FrameText, RoundTripsEveryDataLength) {
    uint8_t data[125];
    for (int i = 0; i < 125; ++i) data[i] = uint8_t(i * 37 + 11);
    for (int n = 0; n <= 125; ++n) {
        char text[FRAME_TEXT_CAPACITY];
        const int length = build_frame_text(0x42, data, n, text);
        ASSERT_EQ(length, 8 + 2 * n);
        uint8_t out[300];
        int decoded = 0, consumed = 0;
        ASSERT_TRUE(parse_frame_text(text, length, out, sizeof out, &decoded, &consumed));
        EXPECT_EQ(decoded, n + 3);
        EXPECT_EQ(out[1], 0x42);
        EXPECT_EQ(std::memcmp(out + 2, data, size_t(n)), 0);
    }
}

// Bounded fuzz run: whatever a faulty module sends, the decoder reads only the text it
// is given and writes only the room it is given (both sized exactly, so the sanitizer
// build sees any overrun), and what it accepts is a frame that encodes back to the
// text it used.
TEST(FrameTextFuzz, DecoderKeepsItsLimitsOnRandomAndMutatedInput) {
    uint8_t data[40];
    for (int i = 0; i < 40; ++i) data[i] = uint8_t(i * 53 + 7);
    char sample[FRAME_TEXT_CAPACITY * 3];
    int length = build_frame_text(0x06, data, 34, sample);
    length += build_frame_text(0xFF, data + 3, 12, sample + length);
    build_frame_text(0x01, data, 2, sample + length);
    const std::string alphabet = "!#0123456789ABCDEF0123456789ABCDEFa";
    std::mt19937 random(2100);
    int accepted = 0;
    for (int round = 0; round < 50000; ++round) {
        const std::string input = fuzz_input(random, round, sample, alphabet, round % 10 == 0 ? 1007 : 120);
        const int fill = int(input.size());
        std::unique_ptr<char[]> text(new char[input.size() + 1]);
        std::memcpy(text.get(), input.data(), input.size());
        const int capacity = 1 + int(random() % 300);
        std::unique_ptr<uint8_t[]> out(new uint8_t[size_t(capacity)]);
        int decoded = -1, consumed = -1;
        if (!parse_frame_text(text.get(), fill, out.get(), capacity, &decoded, &consumed)) continue;
        ASSERT_GE(decoded, 3);
        ASSERT_LE(decoded, capacity);
        ASSERT_EQ(decoded, out[0] + 2);
        ASSERT_GE(consumed, 1);
        ASSERT_LE(consumed, fill);
        std::string used = input.substr(0, size_t(consumed));
        if (used.back() != '#') used += '#';
        char rebuilt[600];
        build_frame_text(out[1], out.get() + 2, decoded - 3, rebuilt);
        ASSERT_EQ(std::string(rebuilt), used);
        ++accepted;
    }
    EXPECT_GT(accepted, 1000) << "the run must reach the accepting path";
}

}  // namespace
