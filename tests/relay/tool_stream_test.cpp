// The operator's reading of the tool's stream, and the firmware file it sends.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>

#include "cli/firmware_file.h"
#include "operator/operator_link.h"
#include "operator/tool_stream.h"

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
    const struct {
        const char* server;
        const char* host;
        int port;
    } good[] = {{"127.0.0.1:55556", "127.0.0.1", 55556},
                {"[::1]:55556", "::1", 55556},
                {"relay.example:1", "relay.example", 1}};
    for (const auto& c : good) {
        std::string host;
        int port = 0;
        EXPECT_TRUE(split_server(c.server, &host, &port)) << c.server;
        EXPECT_EQ(host, c.host);
        EXPECT_EQ(port, c.port);
    }
    std::string host;
    int port = 0;
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

TEST(FirmwareFile, RefusalsSayWhyTheFileIsRefused) {
    struct Case {
        size_t size;
        int damaged_at;  // byte flipped, -1: none
        const char* error;
    };
    const Case cases[] = {{10000, -1, ""},
                          {9999, -1, "too small for a firmware file"},
                          {10000, 0, "not a firmware file (wrong magic)"},
                          {10000, 5000, "damaged (CRC does not match)"}};
    const std::string path = testing::TempDir() + "qv450-firmware-file.bin";
    auto image = std::make_unique<FirmwareImage>();
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = firmware(c.size);
        if (c.damaged_at >= 0) bytes[size_t(c.damaged_at)] ^= 1;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
        std::string error;
        EXPECT_EQ(load_firmware_file(path, image.get(), &error), !*c.error) << c.size;
        EXPECT_EQ(error, *c.error ? path + ": " + c.error : "");
    }
    std::remove(path.c_str());
    std::string error;
    EXPECT_FALSE(load_firmware_file("/nonexistent/file.bin", image.get(), &error));
    EXPECT_EQ(error, "cannot open /nonexistent/file.bin");
}

}  // namespace
