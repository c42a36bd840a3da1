// The signal monitor's table (a label and a colour per signal bit) and the reading of
// the module's signal map; no GTK here.
#pragma once

#include <cstdint>

#include "device/frame_link.h"

constexpr int MONITOR_SIGNAL_COUNT = 40;
// The window shows the bits in 5 columns of 8: column c holds bits 8c to 8c + 7.
constexpr int MONITOR_COLUMNS = 5;
constexpr int MONITOR_ROWS = 8;

struct MonitorEntry {
    const char* label;  // "" where the bit has no name
    uint32_t colour;    // 0xRRGGBB, shown while the bit is set
};

// Indexed by bit number, which is the signal code of the pin lists.
extern const MonitorEntry MONITOR_TABLE[MONITOR_SIGNAL_COUNT];

// The request: command 0x08 with the single data byte 0x00; the answer has code 0x09.
constexpr uint8_t SIGNAL_MAP_COMMAND = 0x08;
constexpr uint8_t SIGNAL_MAP_REPLY = 0x09;

// Reads the 40-bit map from a reply with code 0x09 (data bytes 0 to 4, least
// significant bit first: bit n is bit n mod 8 of data byte n div 8). False, leaving
// *map alone, for any other reply and for a signal map reply too short to hold all
// five bytes, whose missing bytes would be left over from an older frame.
bool decode_signal_map(const ReplyRecord& reply, uint64_t* map);

// Asks the module for its signal map (the answer comes with a later poll).
void request_signal_map(FrameLink& link);

// Asks and polls up to `polls` times for the answer. False when none came.
bool read_signal_map(FrameLink& link, uint64_t* map, int polls);

inline bool signal_bit_set(uint64_t map, int bit) { return (map >> bit) & 1u; }

// Where a bit's cell sits in the window.
inline int monitor_column(int bit) { return bit / MONITOR_ROWS; }
inline int monitor_row(int bit) { return bit % MONITOR_ROWS; }
