// One relay step: the operator's stream read byte by byte into commands and plain serial
// bytes, and the module serial port's bytes passed to the server.
#include <algorithm>
#include <cstring>

#include "net/relay_commands.h"
#include "net/relay_stream.h"
#include "platform/clock.h"

namespace {

constexpr int RELAY_WAIT_MS = 20;
// A step stops taking new commands after this long, so that the window is redrawn
// and its Disconnect button works however long the operator's stream is.
constexpr int RELAY_STEP_BUDGET_MS = 200;

void write_serial(RelayState& relay, const uint8_t* bytes, int n) {
    if (n == 0 || !relay.serial.is_open()) return;  // nobody to take them: dropped
    if (relay.serial.write(bytes, n) < n) {
        release_relay_devices(relay);
        finish_device_command(relay);
    }
}

void relay_serial_to_server(RelayState& relay) {
    if (!relay.serial.is_open()) return;
    uint8_t in[RELAY_BLOCK_SIZE];
    const int n = relay.serial.read(in, RELAY_BLOCK_SIZE);
    if (n <= 0) return;
    uint8_t out[SERIAL_OUTPUT_SIZE];
    send_relay_reply(relay, out, escape_relay_bytes(in, n, out));
}

// Takes byte b of a command begun earlier, with the rest of a long command from the
// block at once (what it holds). Gives the count of block bytes taken with it; runs
// the command once complete (*drop: the rest of the block goes).
int continue_command(RelayState& relay, uint8_t b, const uint8_t* rest, int rest_count, bool* drop) {
    relay.command[relay.command_fill++] = b;
    const int need = relay_command_length(relay.command, relay.command_fill);
    int more = 0;
    if (need > relay.command_fill) {
        more = std::min(need - relay.command_fill, rest_count);
        std::memcpy(relay.command + relay.command_fill, rest, size_t(more));
        relay.command_fill += more;
    }
    if (need == 0 || relay.command_fill < need) return more;
    relay.command_fill = 0;
    *drop = !execute_relay_command(relay, relay.command);
    return more;
}

// Processes the bytes of a block in order until they end or, with a deadline (not 0),
// the platform clock reaches it. Gives the count taken; bytes a device command or a
// lost connection drop count as taken.
int process_block(RelayState& relay, const uint8_t* block, int count, uint64_t deadline_ms) {
    uint8_t serial[SERIAL_OUTPUT_SIZE];
    int serial_fill = 0;
    int i = 0;
    while (i < count && relay.socket) {
        if (deadline_ms && platform::monotonic_ms() >= deadline_ms) break;
        if (relay.image_remaining > 0) {
            i += take_image_bytes(relay, block + i, count - i);
            continue;
        }
        const uint8_t b = block[i++];
        bool drop = false;
        if (relay.command_fill > 0) {
            i += continue_command(relay, b, block + i, count - i, &drop);
            if (drop) return count;  // the rest of the block and its plain bytes go
            continue;
        }
        if (relay.escape) {
            relay.escape = false;
            if (is_relay_command_letter(b)) {
                relay.command[0] = b;
                relay.command_fill = 1;
                if (relay_command_length(relay.command, 1) == 1) {
                    relay.command_fill = 0;
                    if (!execute_relay_command(relay, relay.command)) return count;
                }
                continue;
            }
            serial[serial_fill++] = b;  // "@@" and "@" before any other byte: the byte itself
            continue;
        }
        if (b == RELAY_ESCAPE) relay.escape = true;
        else serial[serial_fill++] = b;
    }
    if (relay.socket) write_serial(relay, serial, serial_fill);
    return relay.socket ? i : count;
}

// Runs the rest of the last block for at most RELAY_STEP_BUDGET_MS.
void process_for_a_while(RelayState& relay) {
    relay.block_next += process_block(relay, relay.block + relay.block_next, relay.block_end - relay.block_next,
                                      platform::monotonic_ms() + RELAY_STEP_BUDGET_MS);
}

}  // namespace

int relay_pause_ms(const RelayState& relay) {
    return relay.socket && relay.block_next < relay.block_end ? 0 : RELAY_STEP_PAUSE_MS;
}

void relay_step(RelayState& relay) {
    if (!relay.socket) return;
    if (relay.block_next < relay.block_end) {
        relay.idle_countdown = IDLE_COUNTDOWN_START;
        process_for_a_while(relay);
        return;
    }
    const int ready = relay.socket->wait_readable(RELAY_WAIT_MS);
    if (ready != 0) {
        const int n = ready > 0 ? relay.socket->receive(relay.block, RELAY_BLOCK_SIZE) : -1;
        if (n <= 0) {
            relay_connection_lost(relay);
            return;
        }
        if (relay.idle_countdown == 0) refresh_relay_status(relay);
        relay.idle_countdown = IDLE_COUNTDOWN_START;
        relay.block_next = 0;
        relay.block_end = n;
        process_for_a_while(relay);
        return;
    }
    if (relay.idle_countdown > 0) --relay.idle_countdown;
    else show_relay_waiting(relay);
    relay_serial_to_server(relay);
}
