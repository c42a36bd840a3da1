// The remote-access relay without its window: login, the "@" command stream from the
// relay server executed against the module, module answers and serial bytes sent
// back. Program-wide state; the window (remote_access.cpp) shows it.
//
// Stream from the server: "@" and a letter is a command, "@@" a literal "@", any other
// byte a plain byte for the module serial port. Commands and the bytes they carry:
//   "@!" "@#" "@H"          release / serial port / HID device; state reply "@" + 1|2|3|#|!
//   "@h" cmd n data         send_frame;   "@i" cmd n data: drain events first
//   "@R"                    R frames "@R" N bytes..., or "@R" 0, or "@!" without a device
//   "@f"                    text lines "@f" n text..., then "@g"
//   "@F" n data             command 0x66, wait for reply code 7;  "@G": "@G" mark
//   "@E0"                   image size 0;  "@E1" hi lo bytes: append, "@E1" sum hi lo
//   "@E2"                   blocking reads; "@E3" n bytes: raw write, "@E3" result
//   "@E4" n                 raw read, "@E4" count bytes; "@E6" hi lo bytes: boot_send,
//                           "@E6" or "@EX";  "@E7" n: boot_read, "@E7" length+1 bytes
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "net/relay_io.h"

constexpr int RELAY_PORT = 55555;
constexpr int RELAY_BLOCK_SIZE = 8192;
constexpr int RELAY_BUFFER_SIZE = 32768;
constexpr int SERIAL_OUTPUT_SIZE = 16384;
constexpr int IDLE_COUNTDOWN_START = 200;
// The login line is built in 40 bytes: the password, LF and a terminator.
constexpr int RELAY_PASSWORD_MAX = 38;
// The image starts after its 16-byte header.
constexpr int IMAGE_HEADER_SIZE = 16;
// The longest command: "E6", a 16-bit count and that many bytes.
constexpr int RELAY_COMMAND_MAX = 4 + 65535;

// The window's part: what the relay shows and the disconnect it asks for.
class RelayView {
public:
    virtual ~RelayView() = default;
    virtual void set_status(const char* text) = 0;
    // The connection is lost or a reply could not be sent: run remote_disconnect.
    virtual void connection_lost() = 0;
};

struct RelayState {
    std::unique_ptr<RelaySocket> socket;  // connected and logged in, or none
    bool escape = false;                  // an "@" waits for its command letter
    int idle_countdown = 0;
    uint8_t relay_buffer[RELAY_BUFFER_SIZE] = {};
    int relay_fill = 0;
    uint8_t f_failure_mark = 0;  // an "@F" saw no reply code 7; never cleared
    // A command whose bytes did not all arrive in one block waits here for the rest.
    uint8_t command[RELAY_COMMAND_MAX] = {};
    int command_fill = 0;
    // "@E1" data still to come, its running sum, and whether any byte did not fit.
    int image_remaining = 0;
    uint32_t image_sum = 0;
    bool image_overflow = false;
    // Firmware blocks went to the bootloader and no application firmware has been
    // opened since: the module may have none. Kept over a lost connection.
    bool firmware_unfinished = false;
};

extern RelayState relay_state;

void install_relay_view(RelayView* view);

// The relay server from QV450_RELAY_SERVER ("host" or "host:port"), else the build's
// default, given the same way (CMake variable QV450_RELAY_SERVER_DEFAULT).
#ifndef QV450_RELAY_SERVER_DEFAULT
#define QV450_RELAY_SERVER_DEFAULT "relay.velmora.com"
#endif
void relay_server_address(std::string* host, int* port);

enum RelayLoginResult { LOGIN_OK, LOGIN_NO_HOST, LOGIN_NO_CONNECTION, LOGIN_REFUSED };

// Connects and logs in with the password. LOGIN_REFUSED keeps the socket so that the
// disconnect that follows can say "@!"; the other failures leave no socket.
RelayLoginResult relay_login(const std::string& password);

// Leaves the relay server: link_close, "@!" and close when there is a socket, idle
// countdown 0, escape and unfinished commands forgotten. The serial port stays open.
void relay_disconnect();

// One pass of the relay (the main loop's only work while remote access is active).
void relay_step();

// The pause the main loop makes before a relay step: RELAY_STEP_PAUSE_MS, but none
// while the last block still holds commands that a step's time budget left for the
// next one (a firmware block's answer would otherwise wait a pause per block).
constexpr int RELAY_STEP_PAUSE_MS = 20;
int relay_pause_ms();

// Processes one received block (public for tests and the fuzz target).
void relay_process_block(const uint8_t* block, int count);

// The relay status text for the devices now open (and turns mode -1 into 0).
void refresh_relay_status();
