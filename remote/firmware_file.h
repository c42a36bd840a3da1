// A firmware file as the operator's flash needs it: read and checked (size, magic,
// CRC), and cut into the bootloader's 1028-byte data blocks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int FIRMWARE_MAX_SIZE = 100352;
constexpr int FIRMWARE_MIN_SIZE = 10000;
constexpr int FIRMWARE_FIRST_OFFSET = 2048;  // the bytes before stay on the host
constexpr int FIRMWARE_BLOCK = 1024;
constexpr int BOOT_BLOCK_SIZE = FIRMWARE_BLOCK + 4;

// Reads at most FIRMWARE_MAX_SIZE bytes and checks them. False with a reason.
bool load_firmware_file(const std::string& path, std::vector<uint8_t>* image, std::string* error);

// Checks an image already in memory: more than 9999 bytes, the magic, the CRC.
bool check_firmware_image(const std::vector<uint8_t>& image, std::string* error);

// The data block for file offset f: 1024 image bytes (zeros beyond the end), the block
// address (f - 2048) / 64 and the 16-bit sum of the 1026 bytes, both low byte first.
std::vector<uint8_t> firmware_block(const std::vector<uint8_t>& image, int f);
