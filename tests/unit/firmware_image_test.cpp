// The firmware file check, the data blocks and the progress figures.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <vector>

#include "firmware/firmware_image.h"
#include "sim/sim_firmware_image.h"

namespace {

FirmwareImage image_of(const std::vector<uint8_t>& file) {
    FirmwareImage image;
    const size_t n = file.size() < sizeof image.bytes ? file.size() : sizeof image.bytes;
    std::memcpy(image.bytes, file.data(), n);
    image.size = int(n);
    return image;
}

std::vector<uint8_t> good_file(int size) { return make_sim_firmware_file(size, SimFirmwareIdentity(), 0x04, 0x50); }

TEST(FirmwareImage, Crc16MatchesTheStandardCheckValue) {
    uint16_t crc = 0;
    for (const char* p = "123456789"; *p; ++p) crc = crc16_update(crc, uint8_t(*p));
    EXPECT_EQ(crc, 0xBB3D);
}

TEST(FirmwareImage, FileCheckTable) {
    struct Case {
        const char* what;
        int size;
        void (*damage)(std::vector<uint8_t>&);
        ImageCheck expected;
    };
    const Case cases[] = {
        {"10000 bytes", 10000, nullptr, ImageCheck::GOOD},
        {"full image", FIRMWARE_IMAGE_CAPACITY, nullptr, ImageCheck::GOOD},
        {"9999 bytes", 9999, nullptr, ImageCheck::TOO_SMALL},
        {"body byte changed", 10000, [](std::vector<uint8_t>& f) { f[5000] ^= 0x01; }, ImageCheck::CORRUPT},
        {"last byte changed", 10000, [](std::vector<uint8_t>& f) { f.back() ^= 0x80; }, ImageCheck::CORRUPT},
        {"CRC field changed", 10000, [](std::vector<uint8_t>& f) { f[15] ^= 0x01; }, ImageCheck::CORRUPT},
        {"magic changed", 10000, [](std::vector<uint8_t>& f) { f[0] = 'X'; }, ImageCheck::CORRUPT},
        // The hardware id is not covered by the CRC: the bootloader judges it.
        {"hardware id changed", 10000, [](std::vector<uint8_t>& f) { f[12] = 0x99; }, ImageCheck::GOOD},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> file = good_file(c.size < 10000 ? 10000 : c.size);
        file.resize(size_t(c.size));
        if (c.damage) c.damage(file);
        EXPECT_EQ(check_firmware_image(image_of(file)), c.expected) << c.what;
    }
}

// A file longer than any image is too large, not damaged: its first bytes may be a
// whole valid image.
TEST(FirmwareImage, FilesAreLoadedWholeOrRefusedForTheirSize) {
    const struct {
        int size;
        int extra;  // bytes after a valid image of `size`
        ImageLoad expected;
    } cases[] = {{FIRMWARE_IMAGE_CAPACITY, 0, ImageLoad::GOOD},
                 {FIRMWARE_IMAGE_CAPACITY, 1, ImageLoad::TOO_LARGE},
                 {FIRMWARE_IMAGE_CAPACITY - 1, 1, ImageLoad::CORRUPT},
                 {9999, 0, ImageLoad::TOO_SMALL}};
    for (const auto& c : cases) {
        std::vector<uint8_t> file = good_file(c.size < 10000 ? 10000 : c.size);
        file.resize(size_t(c.size));
        file.resize(file.size() + size_t(c.extra), 0xAA);
        const std::string path = testing::TempDir() + "qv450-image.bin";
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
        auto image = std::make_unique<FirmwareImage>();
        EXPECT_EQ(load_firmware_file(path.c_str(), *image), c.expected) << c.size << " + " << c.extra;
    }
}

TEST(FirmwareImage, TenThousandBytesGiveEightBlocksTheLastPaddedWithZeros) {
    EXPECT_EQ(firmware_block_count(10000), 8);
    EXPECT_EQ(firmware_block_count(FIRMWARE_IMAGE_CAPACITY), 96);
    EXPECT_EQ(firmware_block_count(2048), 0);
    // The buffer still holds a longer, earlier image: its bytes must not be sent.
    FirmwareImage image = image_of(good_file(FIRMWARE_IMAGE_CAPACITY));
    image.size = 10000;
    uint8_t block[FIRMWARE_BLOCK_MESSAGE_SIZE];
    build_firmware_block(image, 9216, block);
    EXPECT_EQ(0, std::memcmp(block, image.bytes + 9216, 10000 - 9216));
    for (int i = 10000 - 9216; i < FIRMWARE_BLOCK_SIZE; ++i) ASSERT_EQ(block[i], 0) << i;
    EXPECT_EQ(block[1024] | block[1025] << 8, (9216 - 2048) / 64);  // 112
    unsigned sum = 0;
    for (int i = 0; i < 1026; ++i) sum += block[i];
    EXPECT_EQ(block[1026] | block[1027] << 8, int(sum & 0xFFFF));
}

TEST(FirmwareImage, ProgressOfAFullImageStartsAtTwoPercent) {
    EXPECT_EQ(firmware_progress_permille(2048, FIRMWARE_IMAGE_CAPACITY) / 10, 2);
    EXPECT_EQ(firmware_progress_permille(FIRMWARE_IMAGE_CAPACITY - 1024, FIRMWARE_IMAGE_CAPACITY) / 10, 98);
    EXPECT_EQ(firmware_progress_permille(2048, 10000), 204);
}

// Random and mutated files: the verdict depends only on the file's own bytes (never
// on what lies in the buffer beyond it), and agrees with an independent reading of
// size, magic and CRC.
TEST(FirmwareImage, BoundedFuzzOfTheFileCheck) {
    std::mt19937 random(450);
    const std::vector<uint8_t> base = good_file(12000);
    for (int round = 0; round < 1500; ++round) {
        std::vector<uint8_t> file;
        if (round % 3 == 0) {
            file.resize(random() % 13000);
            for (uint8_t& b : file) b = uint8_t(random());
            if (file.size() >= 12 && random() % 2) std::memcpy(file.data(), FIRMWARE_MAGIC, 12);
        } else {
            file = base;
            const int mutations = int(random() % 4);
            for (int m = 0; m < mutations; ++m) file[random() % file.size()] ^= uint8_t(1 + random() % 255);
            if (random() % 4 == 0) file.resize(random() % file.size());
        }
        FirmwareImage with_zeros = image_of(file);
        FirmwareImage with_noise = with_zeros;
        for (int i = with_noise.size; i < FIRMWARE_IMAGE_CAPACITY; ++i) with_noise.bytes[i] = uint8_t(random());
        const ImageCheck verdict = check_firmware_image(with_zeros);
        ASSERT_EQ(verdict, check_firmware_image(with_noise)) << round;

        bool expected_good = file.size() >= 10000 && std::memcmp(file.data(), FIRMWARE_MAGIC, 12) == 0;
        if (expected_good) {
            uint16_t crc = 0;
            for (size_t i = 16; i < file.size(); ++i) crc = crc16_update(crc, file[i]);
            expected_good = crc == uint16_t(file[14] | file[15] << 8);
        }
        ASSERT_EQ(verdict == ImageCheck::GOOD, expected_good) << round;
    }
}

}  // namespace
