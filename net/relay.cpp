// The remote-access relay: login, the command stream, module answers and serial bytes.
#include "net/relay.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "device/hid_backend.h"
#include "device/link.h"
#include "i18n/messages.h"
#include "platform/clock.h"

RelayState relay_state;

namespace {

constexpr int LOGIN_TIMEOUT_MS = 10000;
constexpr int RELAY_WAIT_MS = 20;
// A step stops taking new commands after this long, so that the window is redrawn
// and its Disconnect button works however long the operator's stream is.
constexpr int RELAY_STEP_BUDGET_MS = 200;
constexpr int TEXT_LINE_ATTEMPTS = 199;
constexpr int TEXT_LINES_MAX = 256;  // a module that never sends the empty line ends here
constexpr int F_WAIT_CYCLES = 20;
constexpr int F_PAUSE_MS = 50;
constexpr uint8_t REPLY_EVENT_TEXT = 0xFF;

RelayView* view = nullptr;
RelayState& r = relay_state;

// The last block received; what a step had no time for is taken up by the next.
uint8_t block[RELAY_BLOCK_SIZE + 1];
int block_next = 0;
int block_end = 0;

void lose_connection() {
    if (view) view->connection_lost();
    else relay_disconnect();
}

// Sends a whole reply; a short send ends the connection. False when nothing more can go.
bool send_reply(const uint8_t* bytes, int n) {
    if (!r.socket) return false;
    if (r.socket->send(bytes, n) != n) {
        lose_connection();
        return false;
    }
    return true;
}

bool send_text(const char* text) { return send_reply(reinterpret_cast<const uint8_t*>(text), int(std::strlen(text))); }

// ---- module answers -------------------------------------------------------

enum FetchMode { FETCH_ALL, FETCH_EVENTS_ONLY };

// Appends the last decoded frame as an R frame: "@", "R", N, reply bytes 1..N.
// During "@R" a full buffer is sent first; elsewhere a frame that does not fit is
// dropped (only event texts are queued there). A frame too long for its one-byte
// count is dropped.
void queue_r_frame(FetchMode mode) {
    int n = reply_record.length - 1;
    if (n < 0 || n > 255) return;
    if (r.relay_fill + 3 + n > RELAY_BUFFER_SIZE) {
        if (mode != FETCH_ALL || !send_reply(r.relay_buffer, r.relay_fill)) return;
        r.relay_fill = 0;
    }
    uint8_t* out = r.relay_buffer + r.relay_fill;
    out[0] = '@';
    out[1] = 'R';
    out[2] = uint8_t(n);
    std::memcpy(out + 3, reply_record.bytes + 1, size_t(n));
    r.relay_fill += 3 + n;
}

// One poll for the relay: false when nothing came. With FETCH_EVENTS_ONLY a frame
// other than an event text is left to the caller in reply_record.
bool fetch_for_relay(FetchMode mode) {
    if (!poll_frame()) return false;
    if (mode == FETCH_EVENTS_ONLY && reply_record.bytes[1] != REPLY_EVENT_TEXT) return true;
    queue_r_frame(mode);
    return true;
}

void drain(FetchMode mode) {
    // A module that never stops talking must not hold the relay for ever.
    for (int i = 0; i < 1000 && fetch_for_relay(mode); ++i) {
    }
}

// ---- state replies ---------------------------------------------------------

char state_character() {
    switch (device_link.mode) {
    case LINK_PROGRAMMER: return '1';
    case LINK_BOOTLOADER: return '2';
    case LINK_USBIC: return '3';
    default: return relay_serial_port().is_open() ? '#' : '!';
    }
}

void release_devices() {
    relay_serial_port().close();
    if (link_is_open()) link_close();
    device_link.mode = -1;
}

// Ends "@!", "@#" and "@H": queued R frames go, the status is refreshed, the state
// reply is sent.
void finish_device_command() {
    r.relay_fill = 0;
    refresh_relay_status();
    uint8_t reply[2] = {'@', uint8_t(state_character())};
    send_reply(reply, 2);
}

// ---- commands ----------------------------------------------------------------

void command_collect() {
    if (device_link.mode != LINK_PROGRAMMER && device_link.mode != LINK_USBIC) {
        send_text("@!");
        return;
    }
    drain(FETCH_ALL);
    if (r.relay_fill == 0) {
        const uint8_t empty[3] = {'@', 'R', 0};
        send_reply(empty, 3);
        return;
    }
    if (send_reply(r.relay_buffer, r.relay_fill)) r.relay_fill = 0;
}

bool wait_for_text_line() {
    for (int i = 0; i < TEXT_LINE_ATTEMPTS; ++i)
        if (fetch_for_relay(FETCH_EVENTS_ONLY) && reply_record.bytes[1] == 0x06) return true;
    return false;
}

void command_text_lines() {
    uint8_t first = 0x01;
    drain(FETCH_EVENTS_ONLY);
    send_frame(0x57, &first, 1);
    for (int line = 0; line < TEXT_LINES_MAX && wait_for_text_line(); ++line) {
        // Data: 01, length, 00, then the text; the length is held to what the frame has.
        int data_count = reply_record.length - 3;
        int length = data_count >= 2 ? reply_record.bytes[3] : 0;
        length = std::min(length, std::max(0, data_count - 3));
        if (length == 0) break;
        const uint8_t* text = reply_record.bytes + 5;
        while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n')) --length;
        uint8_t reply[3 + 255] = {'@', 'f', uint8_t(length)};
        std::memcpy(reply + 3, text, size_t(length));
        if (!send_reply(reply, 3 + length)) break;
        uint8_t next = 0x00;
        drain(FETCH_EVENTS_ONLY);
        send_frame(0x57, &next, 1);
    }
    const uint8_t end_lines[2] = {0x01, 0x00};
    for (int i = 0; i < 2; ++i) {
        drain(FETCH_EVENTS_ONLY);
        send_frame(0x56, end_lines, 2);
    }
    if (r.socket) send_text("@g");
}

void command_f(const uint8_t* data, int n) {
    drain(FETCH_EVENTS_ONLY);
    send_frame(0x66, data, n);
    for (int cycle = 0; cycle < F_WAIT_CYCLES; ++cycle) {
        while (poll_frame())
            if (reply_record.bytes[1] == 0x07) return;
        platform::sleep_ms(F_PAUSE_MS);
    }
    r.f_failure_mark = 1;
}

void command_raw_write(const uint8_t* data, int n) {
    int result = -1;
    if (device_link.handle && n > 0) result = hid_backend().write(device_link.handle, data, size_t(n));
    uint8_t reply[4] = {'@', 'E', '3', uint8_t(result < 0 ? 0xFF : std::min(result, 0xFE))};
    send_reply(reply, 4);
}

void command_raw_read(int n) {
    uint8_t reply[4 + 255] = {'@', 'E', '4', 0xFF};
    int count = -1;
    if (device_link.handle && n > 0) count = hid_backend().read(device_link.handle, reply + 4, size_t(n));
    else if (device_link.handle) count = 0;
    if (count < 0) {
        send_reply(reply, 4);
        return;
    }
    reply[3] = uint8_t(count);
    send_reply(reply, 4 + count);
}

void command_boot_read(int attempts) {
    if (!boot_read(attempts)) {
        const uint8_t none[4] = {'@', 'E', '7', 0};
        send_reply(none, 4);
        return;
    }
    uint8_t reply[4 + 8] = {'@', 'E', '7', uint8_t(reply_record.length + 1)};
    int length = std::min(reply_record.length, 8);
    std::memcpy(reply + 4, reply_record.bytes, size_t(length));
    send_reply(reply, 4 + length);
}

// Sum of the "@E1" bytes modulo 65535 (not 65536), high byte first; "@EX" when some
// did not fit the image, so a short image is never reported as complete.
void finish_image_append() {
    if (r.image_overflow) {
        send_text("@EX");
        return;
    }
    uint32_t sum = r.image_sum % 65535;
    uint8_t reply[5] = {'@', 'E', '1', uint8_t(sum >> 8), uint8_t(sum & 0xFF)};
    send_reply(reply, 5);
}

// Takes up to `n` bytes of "@E1" data; returns how many were used.
int take_image_bytes(const uint8_t* bytes, int n) {
    int take = std::min(n, r.image_remaining);
    RelayImage image = relay_firmware_image();
    int room = std::max(0, image.capacity - IMAGE_HEADER_SIZE - *image.size);
    int store = std::min(take, room);
    std::memcpy(image.bytes + IMAGE_HEADER_SIZE + *image.size, bytes, size_t(store));
    *image.size += store;
    if (store < take) r.image_overflow = true;
    for (int i = 0; i < take; ++i) r.image_sum += bytes[i];
    r.image_sum %= 65535;
    r.image_remaining -= take;
    if (r.image_remaining == 0) finish_image_append();
    return take;
}

// Bytes a command needs, its letter first, as far as known from the first `have`
// bytes: 0 when more must arrive before the length is known.
int command_length(const uint8_t* c, int have) {
    switch (c[0]) {
    case 'h':
    case 'i': return have >= 3 ? 3 + c[2] : 0;
    case 'F': return have >= 2 ? 2 + c[1] : 0;
    case 'E':
        if (have < 2) return 0;
        switch (c[1]) {
        case '1': return 4;  // its data streams into the image
        case '3': return have >= 3 ? 3 + c[2] : 0;
        case '4':
        case '7': return 3;
        case '6': return have >= 4 ? 4 + (c[2] << 8 | c[3]) : 0;
        default: return 2;
        }
    default: return 1;
    }
}

bool is_command_letter(uint8_t b) { return std::strchr("!#HhiRfFGE", b) && b != 0; }

// Runs a complete command. False when the rest of the block is to be dropped.
bool execute(const uint8_t* c) {
    switch (c[0]) {
    case '!':
        release_devices();
        finish_device_command();
        return false;
    case '#':
        relay_serial_port().open();
        finish_device_command();
        return false;
    case 'H':
        if (!link_is_open()) link_open();
        if (device_link.mode == LINK_PROGRAMMER || device_link.mode == LINK_USBIC) r.firmware_unfinished = false;
        finish_device_command();
        return false;
    case 'h': send_frame(c[1], c + 3, c[2]); break;
    case 'i':
        drain(FETCH_EVENTS_ONLY);
        send_frame(c[1], c + 3, c[2]);
        break;
    case 'R': command_collect(); break;
    case 'f': command_text_lines(); break;
    case 'F': command_f(c + 2, c[1]); break;
    case 'G': {
        uint8_t reply[3] = {'@', 'G', r.f_failure_mark};
        send_reply(reply, 3);
        break;
    }
    case 'E':
        switch (c[1]) {
        case '0':
            *relay_firmware_image().size = 0;
            send_text("@E0");
            break;
        case '1':
            r.image_remaining = c[2] << 8 | c[3];
            r.image_sum = 0;
            r.image_overflow = false;
            if (r.image_remaining == 0) finish_image_append();
            break;
        case '2':
            if (device_link.handle) hid_backend().set_nonblocking(device_link.handle, 0);
            break;
        case '3': command_raw_write(c + 3, c[2]); break;
        case '4': command_raw_read(c[2]); break;
        case '6':
            // A block, not a one-character command: the old firmware is being replaced.
            if ((c[2] << 8 | c[3]) > 1) r.firmware_unfinished = true;
            send_text(boot_send(c + 4, c[2] << 8 | c[3]) ? "@E6" : "@EX");
            break;
        case '7': command_boot_read(c[2]); break;
        default: break;  // "@E5", "@E8", ...: nothing
        }
        break;
    default: break;
    }
    return r.socket != nullptr;
}

void write_serial(const uint8_t* bytes, int n) {
    RelaySerialPort& port = relay_serial_port();
    if (n == 0 || !port.is_open()) return;  // nobody to take them: dropped
    if (port.write(bytes, n) < n) {
        release_devices();
        finish_device_command();
    }
}

void forget_stream_state() {
    r.escape = false;
    r.command_fill = 0;
    r.image_remaining = 0;
    block_next = block_end = 0;
}

void relay_serial_to_server() {
    RelaySerialPort& port = relay_serial_port();
    if (!port.is_open()) return;
    uint8_t in[RELAY_BLOCK_SIZE];
    int n = port.read(in, RELAY_BLOCK_SIZE);
    if (n <= 0) return;
    uint8_t out[SERIAL_OUTPUT_SIZE];
    int fill = 0;
    for (int i = 0; i < n; ++i) {
        out[fill++] = in[i];
        if (in[i] == '@') out[fill++] = '@';
    }
    send_reply(out, fill);
}

}  // namespace

void install_relay_view(RelayView* v) { view = v; }

void relay_server_address(std::string* host, int* port) {
    *port = RELAY_PORT;
    const char* value = std::getenv("QV450_RELAY_SERVER");
    std::string text = value && *value ? value : QV450_RELAY_SERVER_DEFAULT;
    size_t colon = text.rfind(':');
    if (colon != std::string::npos) {
        char* end = nullptr;
        long number = std::strtol(text.c_str() + colon + 1, &end, 10);
        if (end && *end == '\0' && number > 0 && number <= 65535 && colon > 0) {
            *port = int(number);
            text.resize(colon);
        }
    }
    *host = text;
}

RelayLoginResult relay_login(const std::string& password) {
    r.socket.reset();
    forget_stream_state();
    std::string host;
    int port = 0;
    relay_server_address(&host, &port);
    std::unique_ptr<RelaySocket> socket;
    switch (connect_relay_socket(host, port, LOGIN_TIMEOUT_MS, &socket)) {
    case RELAY_NO_HOST: return LOGIN_NO_HOST;
    case RELAY_NO_CONNECTION: return LOGIN_NO_CONNECTION;
    case RELAY_CONNECTED: break;
    }
    // The line must fit its 40 bytes and be one line.
    if (password.size() > size_t(RELAY_PASSWORD_MAX) || password.find_first_of("\r\n") != std::string::npos) {
        r.socket = std::move(socket);
        return LOGIN_REFUSED;
    }
    std::string line = password + "\n";
    if (socket->send(reinterpret_cast<const uint8_t*>(line.data()), int(line.size())) != int(line.size()))
        return LOGIN_NO_CONNECTION;
    // The answer may come in pieces; a server that never answers must not hang the window.
    uint8_t answer[2];
    int got = 0;
    for (int waited = 0; got < 2 && waited < LOGIN_TIMEOUT_MS; waited += 100) {
        if (socket->wait_readable(100) <= 0) continue;
        int n = socket->receive(answer + got, 2 - got);
        if (n <= 0) break;
        got += n;
    }
    if (got != 2) return LOGIN_NO_CONNECTION;
    r.socket = std::move(socket);
    return answer[0] == 'O' && answer[1] == 'K' ? LOGIN_OK : LOGIN_REFUSED;
}

void relay_disconnect() {
    link_close();
    if (r.socket) {
        r.socket->send(reinterpret_cast<const uint8_t*>("@!"), 2);
        r.socket.reset();
    }
    r.idle_countdown = 0;
    forget_stream_state();
}

void refresh_relay_status() {
    if (!view) {
        if (device_link.mode == -1) device_link.mode = 0;
        return;
    }
    bool serial_open = relay_serial_port().is_open();
    if (device_link.mode == -1) {
        view->set_status(message_text(99));
        device_link.mode = 0;
    } else if (device_link.mode == 0 && !serial_open) {
        view->set_status(message_text(95));
    } else {
        const char* name = serial_open ? "CAN"
                           : device_link.mode == LINK_PROGRAMMER ? "M"
                           : device_link.mode == LINK_BOOTLOADER ? "BOOT"
                                                                 : "A";
        char text[256];
        std::snprintf(text, sizeof text, message_text(96), name);
        view->set_status(text);
    }
}

namespace {

// Processes the bytes of a block in order until they end or, with a deadline (not 0),
// the platform clock reaches it. Gives the count taken; bytes a device command or a
// lost connection drop count as taken.
int process_block(const uint8_t* block, int count, uint64_t deadline_ms) {
    uint8_t serial[SERIAL_OUTPUT_SIZE];
    int serial_fill = 0;
    int i = 0;
    while (i < count && r.socket) {
        if (deadline_ms && platform::monotonic_ms() >= deadline_ms) break;
        if (r.image_remaining > 0) {
            i += take_image_bytes(block + i, count - i);
            continue;
        }
        uint8_t b = block[i++];
        if (r.command_fill > 0) {
            r.command[r.command_fill++] = b;
            int need = command_length(r.command, r.command_fill);
            // Gather the rest of a long command at once (what this block holds).
            if (need > r.command_fill) {
                int more = std::min(need - r.command_fill, count - i);
                std::memcpy(r.command + r.command_fill, block + i, size_t(more));
                r.command_fill += more;
                i += more;
            }
            if (need == 0 || r.command_fill < need) continue;
            r.command_fill = 0;
            if (!execute(r.command)) return count;  // the rest of the block and its plain bytes go
            continue;
        }
        if (r.escape) {
            r.escape = false;
            if (is_command_letter(b)) {
                r.command[0] = b;
                r.command_fill = 1;
                if (command_length(r.command, 1) == 1) {
                    r.command_fill = 0;
                    if (!execute(r.command)) return count;
                }
                continue;
            }
            serial[serial_fill++] = b;  // "@@" and "@" before any other byte: the byte itself
            continue;
        }
        if (b == '@') r.escape = true;
        else serial[serial_fill++] = b;
    }
    if (r.socket) write_serial(serial, serial_fill);
    return r.socket ? i : count;
}

// Runs the rest of the last block for at most RELAY_STEP_BUDGET_MS.
void process_for_a_while() {
    block_next += process_block(block + block_next, block_end - block_next,
                                platform::monotonic_ms() + RELAY_STEP_BUDGET_MS);
}

}  // namespace

void relay_process_block(const uint8_t* bytes, int count) { process_block(bytes, count, 0); }

int relay_pause_ms() { return r.socket && block_next < block_end ? 0 : RELAY_STEP_PAUSE_MS; }

void relay_step() {
    if (!r.socket) return;
    if (block_next < block_end) {
        r.idle_countdown = IDLE_COUNTDOWN_START;
        process_for_a_while();
        return;
    }
    int ready = r.socket->wait_readable(RELAY_WAIT_MS);
    if (ready != 0) {
        int n = ready > 0 ? r.socket->receive(block, RELAY_BLOCK_SIZE) : -1;
        if (n <= 0) {
            lose_connection();
            return;
        }
        if (r.idle_countdown == 0) refresh_relay_status();
        r.idle_countdown = IDLE_COUNTDOWN_START;
        block_next = 0;
        block_end = n;
        process_for_a_while();
        return;
    }
    if (r.idle_countdown > 0) --r.idle_countdown;
    else if (view) view->set_status(message_text(94));
    relay_serial_to_server();
}
