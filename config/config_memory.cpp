// The configuration memory's exchanges with the module.
#include "config/config_memory.h"

#include <cstring>

#include "config/memory_blocks.h"

bool read_memory_block(FrameLink& link, int address, int count, uint8_t* out) {
    const uint8_t request[2] = {uint8_t(address), uint8_t(count)};
    link.send_command(COMMAND_READ_MEMORY, request, 2);
    for (int attempt = 0; attempt < READ_REPLY_ATTEMPTS; ++attempt) {
        if (!link.poll_frame()) continue;
        const uint8_t* bytes = memory_reply_bytes(link.reply(), count);
        if (bytes) {
            std::memcpy(out, bytes, size_t(count));
            return true;
        }
    }
    return false;
}

bool write_memory_block(FrameLink& link, int address, const uint8_t* bytes, int count) {
    uint8_t payload[MAX_WRITE_BLOCK + 2];
    const int length = write_block_payload(address, bytes, count, payload);
    if (length == 0) return false;
    link.send_command(COMMAND_WRITE_MEMORY, payload, length);
    for (int attempt = 0; attempt < WRITE_ACK_ATTEMPTS; ++attempt)
        if (link.poll_frame() && link.reply().bytes[1] == REPLY_ACKNOWLEDGE) return true;
    return false;
}

bool read_config_header(FrameLink& link, int* can_level, int* vehicle_number) {
    uint8_t header[HEADER_SIZE];
    if (!read_memory_block(link, HEADER_ADDRESS, HEADER_SIZE, header)) return false;
    *can_level = header_can_level(header);
    *vehicle_number = header_vehicle_number(header);
    return true;
}

bool read_pin_area(FrameLink& link, ConfigImage* image) {
    for (const MemoryBlock& block : PIN_AREA_BLOCKS)
        if (!read_memory_block(link, block.address, block.count, image->data() + block.address)) return false;
    return true;
}

bool write_pin_area(FrameLink& link, const ConfigImage& image) {
    for (const MemoryBlock& block : PIN_AREA_BLOCKS)
        if (!write_memory_block(link, block.address, image.data() + block.address, block.count)) return false;
    return true;
}

bool write_can_level(FrameLink& link, int can_level) {
    const uint8_t stored = uint8_t(can_level - 1);  // level 0 wraps to 0xFF, as 256 does
    return write_memory_block(link, LEVEL_ADDRESS, &stored, 1);
}

bool write_vehicle_number(FrameLink& link, int vehicle_number) {
    const uint8_t number[2] = {uint8_t(vehicle_number >> 8), uint8_t(vehicle_number & 0xFF)};
    return write_memory_block(link, NUMBER_ADDRESS, number, 2);
}

void finish_configuration(FrameLink& link) { link.send_frame(COMMAND_CONFIGURATION_DONE, nullptr, 0); }
