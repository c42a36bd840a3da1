// The configuration memory's exchanges with the module.
#include "config/config_memory.h"

#include <cstring>
#include <vector>

#include "config/memory_blocks.h"

namespace {

constexpr uint8_t REPLY_EVENT_TEXT = 0xFF;

// The first request of a batch goes as a command, so that stale answers are drained
// first; those after it must not drain the answers already on their way.
void send_request(FrameLink& link, bool first, uint8_t command, const uint8_t* data, int n) {
    if (first) link.send_command(command, data, n);
    else link.send_frame(command, data, n);
}

// The bytes of a memory reply to a read of `block`: sent ahead, the answers are told
// apart by the address and count their data start with. nullptr for any other frame.
const uint8_t* answer_to(const ReplyRecord& reply, const MemoryBlock& block) {
    const uint8_t* bytes = memory_reply_bytes(reply, block.count);
    if (!bytes || reply.bytes[2] != block.address || reply.bytes[3] != block.count) return nullptr;
    return bytes;
}

// Reads the blocks into `memory` (indexed by address). On a link that may send ahead
// all requests go in one exchange and the answers are taken as they come until the
// module falls quiet; a block left without its answer is then read on its own, with
// the usual polls, so a lost answer costs time, never data.
bool read_memory_blocks(FrameLink& link, const MemoryBlock* blocks, int n, uint8_t* memory) {
    std::vector<bool> answered(size_t(n), false);
    if (link.may_send_ahead() && n > 1) {
        for (int i = 0; i < n; ++i) {
            const uint8_t request[2] = {uint8_t(blocks[i].address), uint8_t(blocks[i].count)};
            send_request(link, i == 0, COMMAND_READ_MEMORY, request, 2);
        }
        int waiting = n;
        // The bound keeps a module that never stops talking from holding the read.
        for (int polls = 0; waiting > 0 && polls < n * READ_REPLY_ATTEMPTS && link.poll_frame(); ++polls) {
            for (int i = 0; i < n; ++i) {
                const uint8_t* bytes = answered[size_t(i)] ? nullptr : answer_to(link.reply(), blocks[i]);
                if (!bytes) continue;
                std::memcpy(memory + blocks[i].address, bytes, size_t(blocks[i].count));
                answered[size_t(i)] = true;
                --waiting;
                break;
            }
        }
    }
    for (int i = 0; i < n; ++i)
        if (!answered[size_t(i)] &&
            !read_memory_block(link, blocks[i].address, blocks[i].count, memory + blocks[i].address))
            return false;
    return true;
}

// Writes the blocks from `memory` (indexed by address). Sent ahead, the writes are
// acknowledged in the order sent, with nothing to tell one acknowledgement from
// another: only the full count proves every block written. Any other answer is a
// refusal and fails the write, as it does one block at a time. With answers missing
// nobody can say which block was not taken, so each is written again on its own.
bool write_memory_blocks(FrameLink& link, const MemoryBlock* blocks, int n, const uint8_t* memory) {
    if (link.may_send_ahead() && n > 1) {
        for (int i = 0; i < n; ++i) {
            uint8_t payload[MAX_WRITE_BLOCK + 2];
            const MemoryBlock& block = blocks[i];
            const int length = write_block_payload(block.address, memory + block.address, block.count, payload);
            if (length == 0) return false;
            send_request(link, i == 0, COMMAND_WRITE_MEMORY, payload, length);
        }
        int acknowledged = 0;
        for (int polls = 0; acknowledged < n && polls < n * WRITE_ACK_ATTEMPTS && link.poll_frame(); ++polls) {
            const uint8_t code = link.reply().bytes[1];
            if (code == REPLY_ACKNOWLEDGE) ++acknowledged;
            else if (code != REPLY_EVENT_TEXT) return false;
        }
        if (acknowledged == n) return true;
    }
    for (int i = 0; i < n; ++i)
        if (!write_memory_block(link, blocks[i].address, memory + blocks[i].address, blocks[i].count)) return false;
    return true;
}

}  // namespace

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
    return read_memory_blocks(link, PIN_AREA_BLOCKS, PIN_AREA_BLOCK_COUNT, image->data());
}

bool write_pin_area(FrameLink& link, const ConfigImage& image) {
    return write_memory_blocks(link, PIN_AREA_BLOCKS, PIN_AREA_BLOCK_COUNT, image.data());
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
