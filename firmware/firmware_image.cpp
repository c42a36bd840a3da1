// The firmware image check and the bootloader's data blocks.
#include "firmware/firmware_image.h"

#include <cstring>

#include "platform/file_bytes.h"

FirmwareImage firmware_image;

uint16_t crc16_update(uint16_t crc, uint8_t byte) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    return crc;
}

ImageCheck check_firmware_image(const FirmwareImage& image) {
    const int size = image.size;
    if (size < FIRMWARE_MIN_SIZE || size > FIRMWARE_IMAGE_CAPACITY) return ImageCheck::TOO_SMALL;
    if (std::memcmp(image.bytes, FIRMWARE_MAGIC, FIRMWARE_MAGIC_LENGTH) != 0) return ImageCheck::CORRUPT;
    // Running the CRC over the body and then over the stored CRC (low byte first)
    // gives 0 exactly when they agree.
    uint16_t crc = 0;
    for (int i = FIRMWARE_BODY_OFFSET; i < size; ++i) crc = crc16_update(crc, image.bytes[i]);
    crc = crc16_update(crc, image.bytes[FIRMWARE_CRC_OFFSET]);
    crc = crc16_update(crc, image.bytes[FIRMWARE_CRC_OFFSET + 1]);
    return crc == 0 ? ImageCheck::GOOD : ImageCheck::CORRUPT;
}

ImageLoad load_firmware_file(const char* path, FirmwareImage& image) {
    const int count = platform::read_file_bytes(image.bytes, path, FIRMWARE_IMAGE_CAPACITY);
    if (count == platform::FILE_NOT_OPENED) return ImageLoad::NOT_OPENED;
    image.size = count;
    // Only the first bytes were read: its CRC would fail, but the file is not damaged.
    if (count == FIRMWARE_IMAGE_CAPACITY && platform::regular_file_size(path) > FIRMWARE_IMAGE_CAPACITY)
        return ImageLoad::TOO_LARGE;
    switch (check_firmware_image(image)) {
    case ImageCheck::GOOD:
        return ImageLoad::GOOD;
    case ImageCheck::TOO_SMALL:
        return ImageLoad::TOO_SMALL;
    case ImageCheck::CORRUPT:
        break;
    }
    return ImageLoad::CORRUPT;
}

int firmware_block_count(int size) {
    if (size <= FIRMWARE_FIRST_OFFSET) return 0;
    return (size - FIRMWARE_FIRST_OFFSET + FIRMWARE_BLOCK_SIZE - 1) / FIRMWARE_BLOCK_SIZE;
}

void build_firmware_block(const FirmwareImage& image, int offset,
                          uint8_t block[FIRMWARE_BLOCK_MESSAGE_SIZE]) {
    // The buffer keeps an earlier, longer file's bytes: what lies beyond this file
    // must not reach the module.
    int present = image.size - offset;
    if (present < 0) present = 0;
    if (present > FIRMWARE_BLOCK_SIZE) present = FIRMWARE_BLOCK_SIZE;
    if (offset < 0 || offset + present > FIRMWARE_IMAGE_CAPACITY) present = 0;
    std::memset(block, 0, FIRMWARE_BLOCK_MESSAGE_SIZE);
    if (present > 0) std::memcpy(block, image.bytes + offset, size_t(present));
    const unsigned address = unsigned(offset - FIRMWARE_FIRST_OFFSET) / 64;
    block[FIRMWARE_BLOCK_SIZE] = uint8_t(address & 0xFF);
    block[FIRMWARE_BLOCK_SIZE + 1] = uint8_t(address >> 8);
    unsigned sum = 0;
    for (int i = 0; i < FIRMWARE_BLOCK_SIZE + 2; ++i) sum += block[i];
    block[FIRMWARE_BLOCK_SIZE + 2] = uint8_t(sum & 0xFF);
    block[FIRMWARE_BLOCK_SIZE + 3] = uint8_t((sum >> 8) & 0xFF);
}

int firmware_progress_permille(int offset, int size) {
    if (size <= 0) return 0;
    return int(int64_t(offset) * 1000 / size);
}
