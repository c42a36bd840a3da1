// The module's configuration memory as the transfer sees it: the blocks it moves, the
// header's layout and the payloads of the memory commands. No GTK.
#pragma once

#include <cstdint>

#include "device/frame_link.h"

constexpr uint8_t COMMAND_READ_MEMORY = 0x05;
constexpr uint8_t COMMAND_WRITE_MEMORY = 0x06;
constexpr uint8_t COMMAND_CONFIGURATION_DONE = 0x09;
constexpr uint8_t REPLY_ACKNOWLEDGE = 0x01;
constexpr uint8_t REPLY_MEMORY = 0x06;

// Waits are counted in polls (READ_REPLY_ATTEMPTS for an answer), never in time.
constexpr int WRITE_ACK_ATTEMPTS = 20;

// Header, read as one block of 10 bytes from 0x01:
//   0x01      CAN level - 1
//   0x02-0x04 not interpreted
//   0x05      vehicle number, high byte
//   0x06      vehicle number, low byte
//   0x07-0x0A not interpreted
constexpr int HEADER_ADDRESS = 0x01;
constexpr int HEADER_SIZE = 10;
constexpr int LEVEL_ADDRESS = 0x01;
constexpr int NUMBER_ADDRESS = 0x05;

struct MemoryBlock {
    int address;
    int count;
};

// The pin area travels in three blocks, in this order.
constexpr int PIN_AREA_BLOCK_COUNT = 3;
constexpr MemoryBlock PIN_AREA_BLOCKS[PIN_AREA_BLOCK_COUNT] = {{0x81, 32}, {0xA1, 32}, {0xC1, 28}};

constexpr int MAX_WRITE_BLOCK = 32;
constexpr int MEMORY_SIZE = 256;  // addresses are one byte

// CAN levels the header can hold, stored as level - 1 in one byte: level 0 and level
// 256 are both the byte 0xFF (erased memory reads as 256). Any other level would
// reach the module as another one.
constexpr int MIN_CAN_LEVEL = 0;
constexpr int MAX_CAN_LEVEL = 256;
bool can_level_storable(int level);

// A memory reply (code 0x06) carries two bytes that are not examined, then the
// `count` bytes asked for. Returns them, or nullptr when the frame is not a memory
// reply or is too short to hold them.
const uint8_t* memory_reply_bytes(const ReplyRecord& reply, int count);

// The values in a header block (HEADER_SIZE bytes from HEADER_ADDRESS).
int header_can_level(const uint8_t* header);
int header_vehicle_number(const uint8_t* header);

// The payload of a memory write: address, count, then the bytes. Returns its length
// (count + 2), or 0 when count is not 1..MAX_WRITE_BLOCK or the block would run past
// the end of memory. `out` holds MAX_WRITE_BLOCK + 2 bytes.
int write_block_payload(int address, const uint8_t* bytes, int count, uint8_t* out);

// variant_check's answer names a variant to change to (not 0, not a blank).
bool is_variant_letter(int answer);
