// Reading, checking and cutting a firmware file for the bootloader.
#include "remote/firmware_file.h"

#include <cstring>
#include <fstream>

namespace {

const char MAGIC[] = "ZUROREVUVAVA";

uint16_t crc16_step(uint16_t crc, uint8_t byte) {
    crc ^= byte;
    for (int i = 0; i < 8; ++i) crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    return crc;
}

}  // namespace

bool check_firmware_image(const std::vector<uint8_t>& image, std::string* error) {
    if (image.size() < size_t(FIRMWARE_MIN_SIZE)) {
        *error = "too small for a firmware file";
        return false;
    }
    if (std::memcmp(image.data(), MAGIC, 12) != 0) {
        *error = "not a firmware file (wrong magic)";
        return false;
    }
    // The CRC over the body and then the stored CRC itself comes out 0 when intact.
    uint16_t crc = 0;
    for (size_t i = 16; i < image.size(); ++i) crc = crc16_step(crc, image[i]);
    crc = crc16_step(crc16_step(crc, image[14]), image[15]);
    if (crc != 0) {
        *error = "damaged (CRC does not match)";
        return false;
    }
    return true;
}

bool load_firmware_file(const std::string& path, std::vector<uint8_t>* image, std::string* error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = "cannot open " + path;
        return false;
    }
    image->assign(FIRMWARE_MAX_SIZE, 0);
    file.read(reinterpret_cast<char*>(image->data()), FIRMWARE_MAX_SIZE);
    image->resize(size_t(file.gcount()));
    if (!check_firmware_image(*image, error)) {
        *error = path + ": " + *error;
        return false;
    }
    return true;
}

std::vector<uint8_t> firmware_block(const std::vector<uint8_t>& image, int f) {
    std::vector<uint8_t> block(BOOT_BLOCK_SIZE, 0);
    for (int i = 0; i < FIRMWARE_BLOCK && size_t(f + i) < image.size(); ++i) block[size_t(i)] = image[size_t(f + i)];
    unsigned address = unsigned(f - FIRMWARE_FIRST_OFFSET) / 64;
    block[1024] = uint8_t(address);
    block[1025] = uint8_t(address >> 8);
    unsigned sum = 0;
    for (int i = 0; i < 1026; ++i) sum += block[size_t(i)];
    block[1026] = uint8_t(sum);
    block[1027] = uint8_t(sum >> 8);
    return block;
}
