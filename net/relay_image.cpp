// The firmware image buffer that "@E0" and "@E1" fill (the tool's one image record),
// and those two commands.
#include <algorithm>
#include <cstring>

#include "firmware/firmware_image.h"
#include "net/relay_commands.h"
#include "net/relay_stream.h"

namespace {

// Sum of the "@E1" bytes modulo 65535 (not 65536), high byte first; "@EX" when some
// did not fit the image, so a short image is never reported as complete.
void finish_image_append(RelayState& relay) {
    if (relay.image_overflow) {
        const uint8_t failed[3] = {RELAY_ESCAPE, RELAY_RAW, RELAY_FAILED};
        send_relay_reply(relay, failed, 3);
        return;
    }
    const uint32_t sum = relay.image_sum % 65535;
    const uint8_t reply[5] = {RELAY_ESCAPE, RELAY_RAW, RELAY_IMAGE_APPEND, uint8_t(sum >> 8), uint8_t(sum & 0xFF)};
    send_relay_reply(relay, reply, 5);
}

}  // namespace

RelayImage relay_firmware_image() {
    return RelayImage{firmware_image.bytes, FIRMWARE_IMAGE_CAPACITY, &firmware_image.size};
}

void clear_relay_image(RelayState& relay) {
    *relay.image.size = 0;
    const uint8_t reply[3] = {RELAY_ESCAPE, RELAY_RAW, RELAY_IMAGE_CLEAR};
    send_relay_reply(relay, reply, 3);
}

void start_image_append(RelayState& relay, int count) {
    relay.image_remaining = count;
    relay.image_sum = 0;
    relay.image_overflow = false;
    if (count == 0) finish_image_append(relay);
}

int take_image_bytes(RelayState& relay, const uint8_t* bytes, int n) {
    const int take = std::min(n, relay.image_remaining);
    const RelayImage& image = relay.image;
    const int room = std::max(0, image.capacity - IMAGE_HEADER_SIZE - *image.size);
    const int store = std::min(take, room);
    std::memcpy(image.bytes + IMAGE_HEADER_SIZE + *image.size, bytes, size_t(store));
    *image.size += store;
    if (store < take) relay.image_overflow = true;
    for (int i = 0; i < take; ++i) relay.image_sum += bytes[i];
    relay.image_sum %= 65535;
    relay.image_remaining -= take;
    if (relay.image_remaining == 0) finish_image_append(relay);
    return take;
}
