// The operator's commands carried out on the relay's module link, and their replies.
#include "net/relay_commands.h"

#include <algorithm>
#include <cstring>

#include "net/relay_stream.h"
#include "platform/clock.h"

namespace {

constexpr int TEXT_LINE_ATTEMPTS = 199;
constexpr int TEXT_LINES_MAX = 256;  // a module that never sends the empty line ends here
constexpr int F_WAIT_CYCLES = 20;
constexpr int F_PAUSE_MS = 50;
constexpr int DRAIN_MAX = 1000;  // a module that never stops talking must not hold the relay
constexpr uint8_t REPLY_EVENT_TEXT = 0xFF;
constexpr uint8_t REPLY_MEMORY = 0x06;
constexpr uint8_t REPLY_F_DONE = 0x07;
constexpr uint8_t COMMAND_END_TEXT_LINES = 0x56;
constexpr uint8_t COMMAND_TEXT_LINE = 0x57;
constexpr uint8_t COMMAND_F = 0x66;

// ---- module answers -------------------------------------------------------

enum FetchMode { FETCH_ALL, FETCH_EVENTS_ONLY };

// Appends the last decoded frame as an R frame: "@", "R", N, reply bytes 1..N.
// During "@R" a full buffer is sent first; elsewhere a frame that does not fit is
// dropped (only event texts are queued there). A frame too long for its one-byte
// count is dropped.
void queue_r_frame(RelayState& relay, FetchMode mode) {
    const ReplyRecord& reply = relay.link.reply();
    const int n = reply.length - 1;
    if (n < 0 || n > 255) return;
    if (relay.relay_fill + 3 + n > RELAY_BUFFER_SIZE) {
        if (mode != FETCH_ALL || !send_relay_reply(relay, relay.relay_buffer, relay.relay_fill)) return;
        relay.relay_fill = 0;
    }
    uint8_t* out = relay.relay_buffer + relay.relay_fill;
    out[0] = RELAY_ESCAPE;
    out[1] = RELAY_COLLECT;
    out[2] = uint8_t(n);
    std::memcpy(out + 3, reply.bytes + 1, size_t(n));
    relay.relay_fill += 3 + n;
}

// One poll for the relay: false when nothing came. With FETCH_EVENTS_ONLY a frame
// other than an event text is left to the caller in the link's reply.
bool fetch_for_relay(RelayState& relay, FetchMode mode) {
    if (!relay.link.poll_frame()) return false;
    if (mode == FETCH_EVENTS_ONLY && relay.link.reply().bytes[1] != REPLY_EVENT_TEXT) return true;
    queue_r_frame(relay, mode);
    return true;
}

void drain(RelayState& relay, FetchMode mode) {
    for (int i = 0; i < DRAIN_MAX && fetch_for_relay(relay, mode); ++i) {
    }
}

// ---- commands ----------------------------------------------------------------

void command_collect(RelayState& relay) {
    const int mode = relay.link.mode();
    if (mode != LINK_PROGRAMMER && mode != LINK_USBIC) {
        const uint8_t released[2] = {RELAY_ESCAPE, RELAY_RELEASE};
        send_relay_reply(relay, released, 2);
        return;
    }
    drain(relay, FETCH_ALL);
    if (relay.relay_fill == 0) {
        const uint8_t empty[3] = {RELAY_ESCAPE, RELAY_COLLECT, 0};
        send_relay_reply(relay, empty, 3);
        return;
    }
    if (send_relay_reply(relay, relay.relay_buffer, relay.relay_fill)) relay.relay_fill = 0;
}

bool wait_for_text_line(RelayState& relay) {
    for (int i = 0; i < TEXT_LINE_ATTEMPTS; ++i)
        if (fetch_for_relay(relay, FETCH_EVENTS_ONLY) && relay.link.reply().bytes[1] == REPLY_MEMORY) return true;
    return false;
}

void command_text_lines(RelayState& relay) {
    FrameLink& link = relay.link;
    const uint8_t first = 0x01;
    drain(relay, FETCH_EVENTS_ONLY);
    link.send_frame(COMMAND_TEXT_LINE, &first, 1);
    for (int line = 0; line < TEXT_LINES_MAX && wait_for_text_line(relay); ++line) {
        // Data: 01, length, 00, then the text; the length is held to what the frame has.
        const ReplyRecord& reply = link.reply();
        const int data_count = reply.length - 3;
        int length = data_count >= 2 ? reply.bytes[3] : 0;
        length = std::min(length, std::max(0, data_count - 3));
        if (length == 0) break;
        const uint8_t* text = reply.bytes + 5;
        while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n')) --length;
        uint8_t out[3 + 255] = {RELAY_ESCAPE, RELAY_TEXT_LINE, uint8_t(length)};
        std::memcpy(out + 3, text, size_t(length));
        if (!send_relay_reply(relay, out, 3 + length)) break;
        const uint8_t next = 0x00;
        drain(relay, FETCH_EVENTS_ONLY);
        link.send_frame(COMMAND_TEXT_LINE, &next, 1);
    }
    const uint8_t end_lines[2] = {0x01, 0x00};
    for (int i = 0; i < 2; ++i) {
        drain(relay, FETCH_EVENTS_ONLY);
        link.send_frame(COMMAND_END_TEXT_LINES, end_lines, 2);
    }
    const uint8_t end[2] = {RELAY_ESCAPE, RELAY_TEXT_END};
    if (relay.socket) send_relay_reply(relay, end, 2);
}

void command_f(RelayState& relay, const uint8_t* data, int n) {
    drain(relay, FETCH_EVENTS_ONLY);
    relay.link.send_frame(COMMAND_F, data, n);
    for (int cycle = 0; cycle < F_WAIT_CYCLES; ++cycle) {
        while (relay.link.poll_frame())
            if (relay.link.reply().bytes[1] == REPLY_F_DONE) return;
        platform::sleep_ms(F_PAUSE_MS);
    }
    relay.f_failure_mark = 1;
}

void command_raw_write(RelayState& relay, const uint8_t* data, int n) {
    const int result = n > 0 ? relay.link.write_raw_report(data, n) : -1;
    const uint8_t reply[4] = {RELAY_ESCAPE, RELAY_RAW, RELAY_RAW_WRITE,
                              uint8_t(result < 0 ? 0xFF : std::min(result, 0xFE))};
    send_relay_reply(relay, reply, 4);
}

void command_raw_read(RelayState& relay, int n) {
    uint8_t reply[4 + 255] = {RELAY_ESCAPE, RELAY_RAW, RELAY_RAW_READ, 0xFF};
    const int count = n > 0 ? relay.link.read_raw_report(reply + 4, n) : relay.link.is_open() ? 0 : -1;
    if (count < 0) {
        send_relay_reply(relay, reply, 4);
        return;
    }
    reply[3] = uint8_t(count);
    send_relay_reply(relay, reply, 4 + count);
}

void command_boot_send(RelayState& relay, const uint8_t* data, int n) {
    // A block, not a one-character command: the old firmware is being replaced.
    if (n > 1) relay.firmware_unfinished = true;
    const char result = relay.link.boot_send(data, n) ? RELAY_BOOT_SEND : RELAY_FAILED;
    const uint8_t reply[3] = {RELAY_ESCAPE, RELAY_RAW, uint8_t(result)};
    send_relay_reply(relay, reply, 3);
}

void command_boot_read(RelayState& relay, int attempts) {
    uint8_t reply[4 + 8] = {RELAY_ESCAPE, RELAY_RAW, RELAY_BOOT_READ, 0};
    if (!relay.link.boot_read(attempts)) {
        send_relay_reply(relay, reply, 4);
        return;
    }
    const ReplyRecord& answer = relay.link.reply();
    reply[3] = uint8_t(answer.length + 1);
    const int length = std::min(answer.length, 8);
    std::memcpy(reply + 4, answer.bytes, size_t(length));
    send_relay_reply(relay, reply, 4 + length);
}

void execute_raw(RelayState& relay, const uint8_t* c) {
    switch (c[1]) {
    case RELAY_IMAGE_CLEAR: clear_relay_image(relay); break;
    case RELAY_IMAGE_APPEND: start_image_append(relay, c[2] << 8 | c[3]); break;
    case RELAY_BLOCKING_READS: relay.link.set_blocking_reads(); break;
    case RELAY_RAW_WRITE: command_raw_write(relay, c + 3, c[2]); break;
    case RELAY_RAW_READ: command_raw_read(relay, c[2]); break;
    case RELAY_BOOT_SEND: command_boot_send(relay, c + 4, c[2] << 8 | c[3]); break;
    case RELAY_BOOT_READ: command_boot_read(relay, c[2]); break;
    default: break;  // "@E5", "@E8", ...: nothing
    }
}

}  // namespace

bool send_relay_reply(RelayState& relay, const uint8_t* bytes, int n) {
    if (!relay.socket) return false;
    if (relay.socket->send(bytes, n) != n) {
        relay_connection_lost(relay);
        return false;
    }
    return true;
}

void relay_connection_lost(RelayState& relay) {
    if (relay.view) relay.view->connection_lost();
    else relay_disconnect(relay);
}

void release_relay_devices(RelayState& relay) {
    relay.serial.close();
    if (relay.link.is_open()) relay.link.close();
    relay.released = true;
}

void finish_device_command(RelayState& relay) {
    relay.relay_fill = 0;
    refresh_relay_status(relay);
    const uint8_t reply[2] = {RELAY_ESCAPE, uint8_t(relay_state_character(relay.link.mode(), relay.serial.is_open()))};
    send_relay_reply(relay, reply, 2);
}

int relay_command_length(const uint8_t* c, int have) {
    switch (c[0]) {
    case RELAY_SEND_FRAME:
    case RELAY_SEND_AFTER_EVENTS: return have >= 3 ? 3 + c[2] : 0;
    case RELAY_F_COMMAND: return have >= 2 ? 2 + c[1] : 0;
    case RELAY_RAW:
        if (have < 2) return 0;
        switch (c[1]) {
        case RELAY_IMAGE_APPEND: return 4;  // its data streams into the image
        case RELAY_RAW_WRITE: return have >= 3 ? 3 + c[2] : 0;
        case RELAY_RAW_READ:
        case RELAY_BOOT_READ: return 3;
        case RELAY_BOOT_SEND: return have >= 4 ? 4 + (c[2] << 8 | c[3]) : 0;
        default: return 2;
        }
    default: return 1;
    }
}

bool is_relay_command_letter(uint8_t b) {
    static const char letters[] = {RELAY_RELEASE, RELAY_OPEN_SERIAL, RELAY_OPEN_HID, RELAY_SEND_FRAME,
                                   RELAY_SEND_AFTER_EVENTS, RELAY_COLLECT, RELAY_TEXT_LINE, RELAY_F_COMMAND,
                                   RELAY_F_MARK, RELAY_RAW};
    return std::find(std::begin(letters), std::end(letters), char(b)) != std::end(letters);
}

bool execute_relay_command(RelayState& relay, const uint8_t* c) {
    switch (c[0]) {
    case RELAY_RELEASE:
        release_relay_devices(relay);
        finish_device_command(relay);
        return false;
    case RELAY_OPEN_SERIAL:
        relay.serial.open();
        finish_device_command(relay);
        return false;
    case RELAY_OPEN_HID:
        if (!relay.link.is_open()) relay.link.open();
        if (relay.link.mode() == LINK_PROGRAMMER || relay.link.mode() == LINK_USBIC) relay.firmware_unfinished = false;
        finish_device_command(relay);
        return false;
    case RELAY_SEND_FRAME: relay.link.send_frame(c[1], c + 3, c[2]); break;
    case RELAY_SEND_AFTER_EVENTS:
        drain(relay, FETCH_EVENTS_ONLY);
        relay.link.send_frame(c[1], c + 3, c[2]);
        break;
    case RELAY_COLLECT: command_collect(relay); break;
    case RELAY_TEXT_LINE: command_text_lines(relay); break;
    case RELAY_F_COMMAND: command_f(relay, c + 2, c[1]); break;
    case RELAY_F_MARK: {
        const uint8_t reply[3] = {RELAY_ESCAPE, RELAY_F_MARK, relay.f_failure_mark};
        send_relay_reply(relay, reply, 3);
        break;
    }
    case RELAY_RAW: execute_raw(relay, c); break;
    default: break;
    }
    return relay.socket != nullptr;
}
