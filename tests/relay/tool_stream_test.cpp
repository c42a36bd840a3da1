// The operator's reading of the tool's stream, and the firmware file it sends.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "remote/firmware_file.h"
#include "remote/operator_link.h"
#include "remote/tool_stream.h"

namespace {

std::string bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) s.push_back(char(b));
    return s;
}

std::vector<ToolMessage> parse_in_pieces(const std::string& stream, size_t piece) {
    ToolStreamParser parser;
    std::vector<ToolMessage> out;
    for (size_t at = 0; at < stream.size(); at += piece)
        EXPECT_TRUE(parser.feed(stream.data() + at, std::min(piece, stream.size() - at), &out));
    return out;
}

TEST(ToolStream, EveryMessageKindWhateverThePieces) {
    struct Case {
        std::string stream;
        std::string kind;
        std::string payload;
    } cases[] = {
        {"@1", "1", ""},
        {"@!", "!", ""},
        {"@#", "#", ""},
        {bytes({'@', 'R', 0}), "R", ""},
        {bytes({'@', 'R', 3, 6, 0x40, 0x99}), "R", bytes({6, 0x40, 0x99})},
        {bytes({'@', 'f', 2}) + "hi", "f", "hi"},
        {"@g", "g", ""},
        {bytes({'@', 'G', 1}), "G", bytes({1})},
        {"@E0", "E0", ""},
        {bytes({'@', 'E', '1', 0x12, 0x34}), "E1", bytes({0x12, 0x34})},
        {bytes({'@', 'E', '3', 9}), "E3", bytes({9})},
        {bytes({'@', 'E', '4', 2, 7, 8}), "E4", bytes({7, 8})},
        {bytes({'@', 'E', '4', 0xFF}), "E4", ""},
        {"@E6", "E6", ""},
        {"@EX", "EX", ""},
        {bytes({'@', 'E', '7', 3, 'z', 0}), "E7", bytes({'z', 0})},
        {bytes({'@', 'E', '7', 0}), "E7", ""},
    };
    for (const Case& c : cases) {
        for (size_t piece : {size_t(1), size_t(2), size_t(64)}) {
            std::vector<ToolMessage> out = parse_in_pieces(c.stream + "@@x", piece);
            ASSERT_EQ(out.size(), 2u) << c.kind << " piece " << piece;
            EXPECT_EQ(out[0].kind, c.kind);
            EXPECT_EQ(out[0].payload, c.payload) << c.kind;
            EXPECT_EQ(out[1].kind, "");
            EXPECT_EQ(out[1].payload, "@x");
        }
    }
}

TEST(ToolStream, UnknownLettersBreakTheStreamAndSerialBytesAreEscaped) {
    ToolStreamParser parser;
    std::vector<ToolMessage> out;
    EXPECT_FALSE(parser.feed("@Q", 2, &out));
    EXPECT_FALSE(ToolStreamParser().feed("@E9", 3, &out));
    EXPECT_EQ(escape_serial("a@b@@"), "a@@b@@@@");
}

TEST(OperatorServer, HostAndPort) {
    std::string host;
    int port = 0;
    EXPECT_TRUE(split_server("127.0.0.1:55556", &host, &port));
    EXPECT_EQ(host, "127.0.0.1");
    EXPECT_EQ(port, 55556);
    for (const char* bad : {"127.0.0.1", ":80", "host:0", "host:65536", "host:8x"})
        EXPECT_FALSE(split_server(bad, &host, &port)) << bad;
}

// A firmware file: magic, hardware id, CRC-16 of the body, body.
std::vector<uint8_t> firmware(size_t size) {
    std::vector<uint8_t> image(size, 0);
    std::memcpy(image.data(), "ZUROREVUVAVA", 12);
    for (size_t i = 16; i < size; ++i) image[i] = uint8_t(i * 7);
    uint16_t crc = 0;
    for (size_t i = 16; i < size; ++i) {
        crc ^= image[i];
        for (int b = 0; b < 8; ++b) crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    image[14] = uint8_t(crc);
    image[15] = uint8_t(crc >> 8);
    return image;
}

TEST(FirmwareFile, ChecksSizeMagicAndCrc) {
    std::string error;
    EXPECT_TRUE(check_firmware_image(firmware(10000), &error)) << error;
    EXPECT_FALSE(check_firmware_image(firmware(9999), &error));
    std::vector<uint8_t> image = firmware(10000);
    image[0] = 'X';
    EXPECT_FALSE(check_firmware_image(image, &error));
    image = firmware(10000);
    image[5000] ^= 1;
    EXPECT_FALSE(check_firmware_image(image, &error));
    EXPECT_EQ(error, "damaged (CRC does not match)");
    EXPECT_FALSE(load_firmware_file("/nonexistent/file.bin", &image, &error));
}

TEST(FirmwareFile, BlocksCarryAddressAndSumAndZerosBeyondTheEnd) {
    std::vector<uint8_t> image = firmware(10000);
    std::vector<uint8_t> last = firmware_block(image, 9216);
    EXPECT_EQ(last.size(), 1028u);
    EXPECT_EQ(last[0], image[9216]);
    EXPECT_EQ(last[783], image[9999]);
    EXPECT_EQ(last[784], 0);  // beyond the file
    unsigned address = (9216 - 2048) / 64;
    EXPECT_EQ(last[1024] | last[1025] << 8, int(address));
    unsigned sum = 0;
    for (int i = 0; i < 1026; ++i) sum += last[size_t(i)];
    EXPECT_EQ(last[1026] | last[1027] << 8, int(sum & 0xFFFF));
}

}  // namespace
