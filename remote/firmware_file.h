// A firmware file as the operator's flash needs it: read and checked (size, magic,
// CRC), and cut into the bootloader's 1028-byte data blocks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "firmware/firmware_image.h"

// Reads at most FIRMWARE_IMAGE_CAPACITY bytes and checks them. False with a reason.
bool load_firmware_file(const std::string& path, std::vector<uint8_t>* image, std::string* error);

// Checks an image already in memory: more than 9999 bytes, the magic, the CRC.
bool check_firmware_image(const std::vector<uint8_t>& image, std::string* error);

// The data block for file offset f: 1024 image bytes (zeros beyond the end), the block
// address (f - 2048) / 64 and the 16-bit sum of the 1026 bytes, both low byte first.
std::vector<uint8_t> firmware_block(const std::vector<uint8_t>& image, int f);
