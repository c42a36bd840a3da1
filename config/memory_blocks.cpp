// Header values and memory command payloads.
#include "config/memory_blocks.h"

#include <cstring>

#include "device/variant_table.h"

bool can_level_storable(int level) { return level >= MIN_CAN_LEVEL && level <= MAX_CAN_LEVEL; }

const uint8_t* memory_reply_bytes(const ReplyRecord& reply, int count) {
    if (count < 0 || reply.bytes[1] != REPLY_MEMORY) return nullptr;
    const int data_count = reply.bytes[0] - 1;  // the length byte counts the reply code
    if (data_count < count + 2) return nullptr;
    return reply.bytes + 4;
}

int header_can_level(const uint8_t* header) { return header[LEVEL_ADDRESS - HEADER_ADDRESS] + 1; }

int header_vehicle_number(const uint8_t* header) {
    const uint8_t* number = header + (NUMBER_ADDRESS - HEADER_ADDRESS);
    return number[0] * 256 + number[1];
}

int write_block_payload(int address, const uint8_t* bytes, int count, uint8_t* out) {
    if (count < 1 || count > MAX_WRITE_BLOCK || address < 0 || address + count > MEMORY_SIZE) return 0;
    out[0] = uint8_t(address);
    out[1] = uint8_t(count);
    std::memcpy(out + 2, bytes, size_t(count));
    return count + 2;
}

bool is_variant_letter(int answer) { return answer != 0 && answer != VARIANT_ANY; }
