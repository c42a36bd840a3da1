// Reading, checking and cutting a firmware file for the bootloader, on the tool's own
// image check and block builder.
#include "remote/firmware_file.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "firmware/firmware_image.h"

namespace {

// The image record is large; the operator's tool holds one only while it works on it.
std::unique_ptr<FirmwareImage> image_record(const std::vector<uint8_t>& bytes) {
    auto record = std::make_unique<FirmwareImage>();
    record->size = int(std::min(bytes.size(), size_t(FIRMWARE_IMAGE_CAPACITY)));
    std::memcpy(record->bytes, bytes.data(), size_t(record->size));
    return record;
}

}  // namespace

bool check_firmware_image(const std::vector<uint8_t>& image, std::string* error) {
    switch (check_firmware_image(*image_record(image))) {
    case ImageCheck::GOOD:
        return true;
    case ImageCheck::TOO_SMALL:
        *error = "too small for a firmware file";
        return false;
    case ImageCheck::CORRUPT:
        break;
    }
    const bool magic = image.size() >= size_t(FIRMWARE_MAGIC_LENGTH) &&
                       std::memcmp(image.data(), FIRMWARE_MAGIC, FIRMWARE_MAGIC_LENGTH) == 0;
    *error = magic ? "damaged (CRC does not match)" : "not a firmware file (wrong magic)";
    return false;
}

bool load_firmware_file(const std::string& path, std::vector<uint8_t>* image, std::string* error) {
    auto record = std::make_unique<FirmwareImage>();
    if (load_firmware_file(path.c_str(), *record) == ImageLoad::NOT_OPENED) {
        *error = "cannot open " + path;
        return false;
    }
    image->assign(record->bytes, record->bytes + record->size);
    if (!check_firmware_image(*image, error)) {
        *error = path + ": " + *error;
        return false;
    }
    return true;
}

std::vector<uint8_t> firmware_block(const std::vector<uint8_t>& image, int f) {
    std::vector<uint8_t> block(FIRMWARE_BLOCK_MESSAGE_SIZE);
    build_firmware_block(*image_record(image), f, block.data());
    return block;
}
