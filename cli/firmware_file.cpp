// Reading and checking a firmware file on the tool's own image reader and check.
#include "cli/firmware_file.h"

#include <cstring>

bool load_firmware_file(const std::string& path, FirmwareImage* image, std::string* error) {
    switch (load_firmware_file(path.c_str(), *image)) {
    case ImageLoad::NOT_OPENED:
        *error = "cannot open " + path;
        return false;
    case ImageLoad::TOO_LARGE:
        *error = path + ": too large for a firmware file (more than " + std::to_string(FIRMWARE_IMAGE_CAPACITY) +
                 " bytes)";
        return false;
    default:
        break;
    }
    switch (check_firmware_image(*image)) {
    case ImageCheck::GOOD:
        return true;
    case ImageCheck::TOO_SMALL:
        *error = path + ": too small for a firmware file";
        return false;
    case ImageCheck::CORRUPT:
        break;
    }
    const bool magic = image->size >= FIRMWARE_MAGIC_LENGTH &&
                       std::memcmp(image->bytes, FIRMWARE_MAGIC, FIRMWARE_MAGIC_LENGTH) == 0;
    *error = path + (magic ? ": damaged (CRC does not match)" : ": not a firmware file (wrong magic)");
    return false;
}
