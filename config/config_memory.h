// Reading and writing the module's configuration memory over a frame link: the memory
// commands and their waits, counted in polls. Reports nothing to the user; no GTK.
#pragma once

#include <cstdint>

#include "config/pin_config.h"
#include "device/frame_link.h"

// One read of `count` bytes at `address` into `out`: the request, then up to 19 polls
// for the memory reply (frames with other codes count as polls).
bool read_memory_block(FrameLink& link, int address, int count, uint8_t* out);

// One write of `count` (1..32) bytes at `address`: true when the module acknowledged
// it within 20 polls. A block that does not fit is not sent.
bool write_memory_block(FrameLink& link, int address, const uint8_t* bytes, int count);

// The header's CAN level and vehicle number.
bool read_config_header(FrameLink& link, int* can_level, int* vehicle_number);

// The pin area's three blocks into `image` (other addresses are left as they are).
// On a link that may send ahead the three requests go out together.
bool read_pin_area(FrameLink& link, ConfigImage* image);

// The pin area's three blocks; false at the first one not acknowledged. On a link that
// may send ahead the three writes go out together, and a refusal of any fails the
// write although those after it were sent.
bool write_pin_area(FrameLink& link, const ConfigImage& image);

// The header's CAN level (a level can_level_storable accepts) and vehicle number.
bool write_can_level(FrameLink& link, int can_level);
bool write_vehicle_number(FrameLink& link, int vehicle_number);

// Command 0x09: the module takes the written configuration into use.
void finish_configuration(FrameLink& link);
