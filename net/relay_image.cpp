// The firmware image buffer that "@E0" and "@E1" fill.
#include "net/relay_io.h"

namespace {
// One firmware file: 98 blocks of 1024 bytes.
constexpr int IMAGE_CAPACITY = 100352;
uint8_t image_bytes[IMAGE_CAPACITY];
int image_size = 0;
}  // namespace

RelayImage relay_firmware_image() { return RelayImage{image_bytes, IMAGE_CAPACITY, &image_size}; }
