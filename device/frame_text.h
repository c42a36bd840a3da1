// The text form of a frame: "!", length, command or reply code, data, checksum, "#",
// every byte as two upper-case hex digits. Pure functions, no device.
#pragma once

#include <cstdint>

// Text of a frame with FRAME_MAX_DATA bytes, plus the terminating zero.
constexpr int FRAME_TEXT_CAPACITY = 260;

// The checksum: sum of (b + 0x55) over the length byte, the command and the data.
uint8_t frame_checksum(uint8_t length_byte, uint8_t command, const uint8_t* data, int n);

// Writes the frame text for command and n data bytes (n <= 125) into `out`, which
// must hold FRAME_TEXT_CAPACITY bytes, zero-terminated. Returns the text length.
int build_frame_text(uint8_t command, const uint8_t* data, int n, char* out);

// Control byte of a chunk host to module: 2 x length, +1 on the first, +0xC0 on the last.
uint8_t frame_chunk_control(int chunk_length, bool first, bool last);

// Length of the next chunk when `remaining` characters are left: 7 while 8 or more
// remain, otherwise all of them.
int frame_chunk_length(int remaining);

// Decodes the frame at the start of text[0..fill). On success stores the decoded
// bytes (length byte, code, data, checksum) in out, their number in *decoded, the
// number of characters used (up to and including "#", or all) in *consumed, and
// returns true. Fails on a missing "!", a character outside "0-9A-F", a checksum or
// length mismatch, an unpaired digit, or more bytes than out_capacity.
bool parse_frame_text(const char* text, int fill, uint8_t* out, int out_capacity, int* decoded,
                      int* consumed);
