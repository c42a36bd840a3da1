// Checking comport_open's arguments and building the line settings from them.
#pragma once

#include <cstddef>

#include "platform/serial_device.h"

// The rates comport_open accepts.
bool is_accepted_baud_rate(int baud);

// Checks the index, the rate and the mode text in that order. On the first fault
// writes its message (with its line break) into `message` and gives false.
bool check_comport_arguments(int index, int baud, const char* mode, char* message, size_t size);

// The device control text for checked arguments, such as
// "baud=115200 data=8 parity=n stop=1 dtr=on rts=on".
void build_device_control_text(int baud, const char* mode, char* text, size_t size);

// Reads a device control text back into line settings; false when a field is missing
// or malformed.
bool parse_device_control_text(const char* text, platform::SerialLine* line);
