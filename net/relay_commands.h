// Inside the tool's relay: the commands of the operator's stream and the replies to
// them (relay_commands.cpp, relay_image.cpp), for the step that reads the stream
// (relay_step.cpp); the status the window shows (relay_login.cpp).
#pragma once

#include <cstdint>

#include "net/relay.h"

// Bytes a command needs, its letter first, as far as known from the first `have` bytes:
// 0 when more must arrive before the length is known.
int relay_command_length(const uint8_t* command, int have);
bool is_relay_command_letter(uint8_t b);

// Runs a complete command (its letter first). False when the rest of the block is to
// be dropped: after "@!", "@#" and "@H", and once the connection is gone.
bool execute_relay_command(RelayState& relay, const uint8_t* command);

// The image commands (relay_image.cpp): "@E0" empties the image; "@E1" announces
// `count` bytes, which take_image_bytes then takes into the image as they come (up to
// n at a time; it returns how many it used) until the sum is replied.
void clear_relay_image(RelayState& relay);
void start_image_append(RelayState& relay, int count);
int take_image_bytes(RelayState& relay, const uint8_t* bytes, int n);

// Sends a whole reply; a short send ends the connection. False when nothing more can go.
bool send_relay_reply(RelayState& relay, const uint8_t* bytes, int n);

// The connection is gone: the view disconnects (or, without one, the relay itself).
void relay_connection_lost(RelayState& relay);

// "@!" and a failed serial write: the serial port and the link close.
void release_relay_devices(RelayState& relay);
// Ends "@!", "@#" and "@H": queued R frames go, the status is refreshed, the state
// reply is sent.
void finish_device_command(RelayState& relay);

// The status "Waiting for remote access." once the server has been quiet a while.
void show_relay_waiting(RelayState& relay);
