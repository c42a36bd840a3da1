// A firmware file as the operator's flash needs it: read and checked (size, magic,
// CRC) with the reason a file is refused.
#pragma once

#include <string>

#include "firmware/firmware_image.h"

// Reads at most FIRMWARE_IMAGE_CAPACITY bytes into `image` and checks them. False with
// a reason.
bool load_firmware_file(const std::string& path, FirmwareImage* image, std::string* error);
