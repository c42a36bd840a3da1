// The tool's side of the remote-access relay, without its window: the login, and the
// operator's command stream (net/relay_stream.h) carried out on a module link, with the
// module's answers and serial bytes sent back. Everything one relay holds is in its
// RelayState; the window (remote_access.cpp) owns the program's one relay and shows it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "device/link.h"
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
    // The module link, serial port and image buffer the commands act on; they must
    // outlive the relay.
    RelayState(RawHidLink& module, RelaySerialPort& serial_port, const RelayImage& firmware)
        : link(module), serial(serial_port), image(firmware) {}
    RelayState(const RelayState&) = delete;
    RelayState& operator=(const RelayState&) = delete;

    RawHidLink& link;
    RelaySerialPort& serial;
    const RelayImage image;
    RelayView* view = nullptr;  // none: statuses go nowhere, a lost connection disconnects

    std::unique_ptr<RelaySocket> socket;  // connected and logged in, or none
    bool escape = false;                  // an "@" waits for its command letter
    bool released = false;                // "@!" released the devices; the status says so once
    int idle_countdown = 0;
    uint8_t relay_buffer[RELAY_BUFFER_SIZE] = {};  // R frames waiting for "@R"
    int relay_fill = 0;
    uint8_t f_failure_mark = 0;  // an "@F" saw no reply code 7; never cleared
    // A command whose bytes did not all arrive in one block waits here for the rest.
    uint8_t command[RELAY_COMMAND_MAX] = {};
    int command_fill = 0;
    // "@E1" data still to come, its running sum, and whether any byte did not fit.
    int image_remaining = 0;
    uint32_t image_sum = 0;
    bool image_overflow = false;
    // The last block received; what a step had no time for is taken up by the next.
    uint8_t block[RELAY_BLOCK_SIZE + 1] = {};
    int block_next = 0;
    int block_end = 0;
    // Firmware blocks went to the bootloader and no application firmware has been
    // opened since: the module may have none. Kept over a lost connection.
    bool firmware_unfinished = false;
};

// The relay server from QV450_RELAY_SERVER ("host" or "host:port"), else the build's
// default, given the same way (CMake variable QV450_RELAY_SERVER_DEFAULT).
#ifndef QV450_RELAY_SERVER_DEFAULT
#define QV450_RELAY_SERVER_DEFAULT "relay.velmora.com"
#endif
void relay_server_address(std::string* host, int* port);

enum RelayLoginResult { LOGIN_OK, LOGIN_NO_HOST, LOGIN_NO_CONNECTION, LOGIN_REFUSED };

// Connects and logs in with the password. LOGIN_REFUSED keeps the socket so that the
// disconnect that follows can say "@!"; the other failures leave no socket.
RelayLoginResult relay_login(RelayState& relay, const std::string& password);

// Leaves the relay server: the link closes, "@!" and close when there is a socket, idle
// countdown 0, escape and unfinished commands forgotten. The serial port stays open.
void relay_disconnect(RelayState& relay);

// One pass of the relay (the main loop's only work while remote access is active):
// takes in what the server sent and carries it out for at most a moment, or passes the
// serial port's bytes to the server.
void relay_step(RelayState& relay);

// The pause the main loop makes before a relay step: RELAY_STEP_PAUSE_MS, but none
// while the last block still holds commands that a step's time budget left for the
// next one (a firmware block's answer would otherwise wait a pause per block).
constexpr int RELAY_STEP_PAUSE_MS = 20;
int relay_pause_ms(const RelayState& relay);

// The relay status text for the devices now open; a release is told once.
void refresh_relay_status(RelayState& relay);
