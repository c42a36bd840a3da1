// The firmware image buffer that "@E0" and "@E1" fill: the tool's one image record.
#include "firmware/firmware_image.h"
#include "net/relay_io.h"

RelayImage relay_firmware_image() {
    return RelayImage{firmware_image.bytes, FIRMWARE_IMAGE_CAPACITY, &firmware_image.size};
}
