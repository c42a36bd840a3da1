// The firmware image: the one buffer that holds a firmware file, its check, and the
// data blocks cut from it for the bootloader. No GTK here.
#pragma once

#include <cstdint>

constexpr int FIRMWARE_IMAGE_CAPACITY = 100352;  // 98 blocks of 1024 bytes
constexpr int FIRMWARE_MIN_SIZE = 10000;         // smaller files are corrupt
constexpr int FIRMWARE_FIRST_OFFSET = 2048;      // bytes before it stay on the host
constexpr int FIRMWARE_BLOCK_SIZE = 1024;
constexpr int FIRMWARE_BLOCK_MESSAGE_SIZE = 1028;  // data, address, sum

// File layout:
//   offset 0,  12 bytes: magic "ZUROREVUVAVA" (no terminator)
//   offset 12,  2 bytes: hardware id, compared with the bootloader's answer to "5"
//   offset 14,  2 bytes: CRC-16 of the bytes from offset 16 to the end, low byte first
//   offset 16:           body
constexpr char FIRMWARE_MAGIC[] = "ZUROREVUVAVA";
constexpr int FIRMWARE_MAGIC_LENGTH = 12;
constexpr int FIRMWARE_HARDWARE_ID_OFFSET = 12;
constexpr int FIRMWARE_CRC_OFFSET = 14;
constexpr int FIRMWARE_BODY_OFFSET = 16;

struct FirmwareImage {
    uint8_t bytes[FIRMWARE_IMAGE_CAPACITY] = {};
    int size = 0;  // bytes read from the file, at most the capacity
};

extern FirmwareImage firmware_image;

// One step of CRC-16 with the reflected polynomial 0xA001 (initial value 0, no final
// exclusive-or).
uint16_t crc16_update(uint16_t crc, uint8_t byte);

enum class ImageCheck {
    GOOD,
    TOO_SMALL,  // 9999 bytes or fewer
    CORRUPT,    // wrong magic, or the CRC over body and CRC field is not 0
};

// Judges the first `size` bytes of the image; never looks beyond them.
ImageCheck check_firmware_image(const FirmwareImage& image);

enum class ImageLoad {
    NOT_OPENED,  // missing, unreadable or a folder
    TOO_SMALL,
    TOO_LARGE,   // more than FIRMWARE_IMAGE_CAPACITY bytes: no image is that long
    CORRUPT,
    GOOD,
};

// Reads at most the capacity from the file into the image (size = bytes read) and
// checks it. Nothing is shown.
ImageLoad load_firmware_file(const char* path, FirmwareImage& image);

// The number of blocks sent for the image: from offset 2048 in steps of 1024, the
// last one reaching beyond the end of the file when the size is not a whole number of
// blocks. 0 for an image of 2048 bytes or fewer.
int firmware_block_count(int size);

// The message for the block at file offset `offset` (2048, 3072, ...):
//   0,   1024 bytes: image bytes offset .. offset + 1023; those beyond the end of the
//                    file are zero
//   1024,   2 bytes: block address (offset - 2048) / 64, low byte first
//   1026,   2 bytes: 16-bit sum of the 1026 bytes before it, low byte first
void build_firmware_block(const FirmwareImage& image, int offset,
                          uint8_t block[FIRMWARE_BLOCK_MESSAGE_SIZE]);

// Progress in thousandths when the block at `offset` is about to go:
// offset * 1000 / size (integer division).
int firmware_progress_permille(int offset, int size);
