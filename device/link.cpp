// The HID link: opening the module, the frame protocol and the raw boot transfer.
#include "device/link.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "device/frame_text.h"
#include "platform/clock.h"

DeviceLink device_link;
ReplyRecord reply_record;
LinkHooks link_hooks;

namespace {

bool event_texts_returned = false;
char refused_node[256] = "";

constexpr int READ_TIMEOUT_MS = 25;
constexpr int OPEN_DELAY_MS = 40;
constexpr int POLL_PAUSE_MS = 10;
constexpr int USBIC_FRAME_PAUSE_MS = 100;
constexpr int SEGMENT_PAUSE_MS = 12;
constexpr int READY_ATTEMPTS = 10;
constexpr int PRODUCT_STRING_CHARS = 128;

// Control bytes that are not frame chunks.
constexpr uint8_t CONTROL_POLL = 0x60;
constexpr uint8_t CONTROL_READY_QUERY = 0x20;

// Input report control bits, module to host.
constexpr uint8_t IN_MORE_FOLLOWS = 0x20;
constexpr uint8_t IN_HAS_DATA = 0x40;

int payload_count(uint8_t control) { return (control >> 1) & 0x07; }

// Writes one 9-byte output report: report id 0, control, up to 7 payload bytes (the
// rest zero). True when the backend took all 9 bytes.
bool write_report(uint8_t control, const void* payload, int n) {
    uint8_t report[OUTPUT_REPORT_SIZE] = {0, control};
    if (n > 0) std::memcpy(report + 2, payload, size_t(n));
    return hid_backend().write(device_link.handle, report, sizeof report) == OUTPUT_REPORT_SIZE;
}

// Reads one input report; true when all 8 bytes arrived within the time-out.
bool read_report(uint8_t* report) {
    return hid_backend().read_timeout(device_link.handle, report, INPUT_REPORT_SIZE,
                                      READ_TIMEOUT_MS) >= INPUT_REPORT_SIZE;
}

LinkMode mode_for_product(const char* product) {
    if (std::strcmp(product, "USB HID Progr") == 0) return LINK_PROGRAMMER;
    if (std::strcmp(product, "USBIC") == 0) return LINK_USBIC;
    if (std::strcmp(product, "USB Bootloader") == 0) return LINK_BOOTLOADER;
    return LINK_NONE;
}

// The product string narrowed to the low byte of each wide character.
void read_product(HidDevice* handle, char* product) {
    wchar_t wide[PRODUCT_STRING_CHARS + 1] = {};
    product[0] = '\0';
    if (hid_backend().product_string(handle, wide, PRODUCT_STRING_CHARS) != 0) return;
    int i = 0;
    for (; i < PRODUCT_STRING_CHARS && wide[i] != 0; ++i) product[i] = char(wide[i] & 0xFF);
    product[i] = '\0';
}

void clear_rx_text() {
    device_link.rx_fill = 0;
    device_link.rx_text[0] = '\0';
}

// Decodes the frame at the start of rx_text into reply_record and keeps the text that
// followed it. False (and rx_text emptied) when the text is not a valid frame.
bool decode_rx_text() {
    int decoded = 0;
    int consumed = 0;
    if (!parse_frame_text(device_link.rx_text, device_link.rx_fill, reply_record.bytes,
                          int(sizeof reply_record.bytes), &decoded, &consumed)) {
        clear_rx_text();
        return false;
    }
    reply_record.length = decoded;
    const int rest = device_link.rx_fill - consumed;
    std::memmove(device_link.rx_text, device_link.rx_text + consumed, size_t(rest));
    device_link.rx_fill = rest;
    device_link.rx_text[rest] = '\0';
    device_link.rx_pending = rest > 0;
    return true;
}

enum class Receive { FRAME, NOTHING };

// Reads reports until a transmission is complete and decodes its first frame. Invalid
// frames are dropped and reading goes on without a new poll.
Receive receive_one_frame() {
    bool use_pending = device_link.rx_pending;
    device_link.rx_pending = false;
    for (;;) {
        if (!use_pending) {
            uint8_t report[INPUT_REPORT_SIZE];
            if (!read_report(report)) return Receive::NOTHING;
            if (!(report[0] & IN_HAS_DATA)) continue;
            const int count = payload_count(report[0]);
            std::memcpy(device_link.rx_text + device_link.rx_fill, report + 1, size_t(count));
            device_link.rx_fill += count;
            device_link.rx_text[device_link.rx_fill] = '\0';
            if (device_link.rx_fill > RX_TEXT_LIMIT) {
                clear_rx_text();
                return Receive::NOTHING;
            }
            if (report[0] & IN_MORE_FOLLOWS) continue;
        }
        use_pending = false;
        if (decode_rx_text()) return Receive::FRAME;
    }
}

}  // namespace

void link_init() {
    if (hid_backend().init() != 0) {
        std::fprintf(stderr, "ERROR: %s\n", "hid_init");
        std::exit(1);
    }
}

bool link_is_open() { return device_link.handle != nullptr; }

void reset_link() {
    device_link = DeviceLink();
    reply_record = ReplyRecord();
    event_texts_returned = false;
}

int link_text_count() { return device_link.rx_fill; }

bool link_text_pending() { return device_link.rx_pending; }

int link_open() {
    if (link_is_open()) link_close();
    refused_node[0] = '\0';
    platform::sleep_ms(OPEN_DELAY_MS);
    for (uint16_t product_id : MODULE_PRODUCT_IDS) {
        HidDevice* handle = hid_backend().open(MODULE_VENDOR_ID, product_id);
        if (!handle) continue;
        char product[PRODUCT_STRING_CHARS + 1];
        read_product(handle, product);
        const LinkMode mode = mode_for_product(product);
        if (mode == LINK_NONE) {
            hid_backend().close(handle);
            return 0;
        }
        device_link.handle = handle;
        device_link.mode = mode;
        // Text left by an earlier connection (a transmission cut off when the module
        // left) would be joined to this one's first reply and spoil it.
        clear_rx_text();
        device_link.rx_pending = false;
        return mode == LINK_BOOTLOADER ? 2 : 1;
    }
    // A module the system does not let this user open looks absent to the HID library.
    for (uint16_t product_id : MODULE_PRODUCT_IDS)
        if (hid_backend().refused_node(MODULE_VENDOR_ID, product_id, refused_node, sizeof refused_node)) break;
    return 0;
}

const char* link_refused_node() { return refused_node; }

void link_close() {
    if (device_link.handle) hid_backend().close(device_link.handle);
    device_link.handle = nullptr;
    device_link.mode = LINK_NONE;
}

void send_frame(uint8_t command, const uint8_t* data, int n) {
    if (!link_is_open() || n < 0 || n > FRAME_MAX_DATA) return;
    char text[FRAME_TEXT_CAPACITY];
    const int length = build_frame_text(command, data, n, text);
    for (int pos = 0; pos < length;) {
        const int chunk = frame_chunk_length(length - pos);
        const uint8_t control = frame_chunk_control(chunk, pos == 0, pos + chunk == length);
        if (!write_report(control, text + pos, chunk)) {
            link_close();
            return;
        }
        pos += chunk;
    }
    if (device_link.mode == LINK_USBIC) platform::sleep_ms(USBIC_FRAME_PAUSE_MS);
}

int send_poll() {
    if (!link_is_open()) return 0;
    uint8_t report[OUTPUT_REPORT_SIZE] = {0, CONTROL_POLL};
    // A poll counts as failed below 8 bytes, one less than a frame chunk.
    if (hid_backend().write(device_link.handle, report, sizeof report) < 8) {
        link_close();
        return -1;
    }
    platform::sleep_ms(POLL_PAUSE_MS);
    return 0;
}

bool read_frame() {
    for (;;) {
        if (!link_is_open()) return false;
        if (receive_one_frame() == Receive::NOTHING) return false;
        if (reply_record.bytes[1] != 0xFF || event_texts_returned) return true;
        // An event text: bytes 2..L are its data. Then read on.
        const int data_count = reply_record.bytes[0] - 1;
        if (link_hooks.event_text) link_hooks.event_text(reply_record.bytes + 2, data_count > 0 ? data_count : 0);
    }
}

bool poll_frame() {
    if (device_link.rx_pending) return read_frame();
    if (send_poll() != 0) return false;
    return read_frame();
}

void drain_frames() {
    while (poll_frame()) {
    }
}

void send_command(uint8_t command, const uint8_t* data, int n) {
    drain_frames();
    send_frame(command, data, n);
}

bool boot_send_segment(const uint8_t* data, int n, bool last) {
    if (!link_is_open() || n < 0 || n > BOOT_SEGMENT_SIZE) return false;
    for (int pos = 0; pos < n;) {
        const bool final_report = n - pos < 8;
        const int chunk = final_report ? n - pos : REPORT_PAYLOAD;
        uint8_t control = uint8_t(2 * chunk);
        if (pos == 0) control |= 0x01;
        if (final_report) control |= 0x80;
        if (final_report && last) control |= 0x40;
        if (!write_report(control, data + pos, chunk)) {
            link_close();
            return false;
        }
        pos += chunk;
    }
    platform::sleep_ms(SEGMENT_PAUSE_MS);
    return true;
}

bool boot_send(const uint8_t* data, int count) {
    int pos = 0;
    for (;;) {
        const int remaining = count - pos;
        if (remaining <= BOOT_SEGMENT_SIZE) return boot_send_segment(data + pos, remaining, true);
        if (!boot_send_segment(data + pos, BOOT_SEGMENT_SIZE, false)) return false;
        if (!boot_wait_ready()) return false;
        pos += BOOT_SEGMENT_SIZE;
    }
}

bool boot_wait_ready() {
    for (int attempt = 0; attempt < READY_ATTEMPTS; ++attempt) {
        if (!link_is_open()) return false;
        if (!write_report(CONTROL_READY_QUERY, nullptr, 0)) {
            link_close();
            return false;
        }
        uint8_t report[INPUT_REPORT_SIZE];
        if (read_report(report) && report[1] == 0x00) return true;
    }
    return false;
}

bool boot_read(int attempts) {
    for (int attempt = 1; attempt < attempts; ++attempt) {
        if (!link_is_open()) return false;
        const bool polled = write_report(CONTROL_POLL, nullptr, 0);
        // A bootloader that has just left the bus (it restarts once it has answered the
        // end of programming) may have answered an earlier poll after its time-out:
        // what arrived before it went is still read.
        uint8_t report[INPUT_REPORT_SIZE];
        bool read = read_report(report);
        while (!polled && read && payload_count(report[0]) == 0) read = read_report(report);
        if (!polled) link_close();
        const int count = read ? payload_count(report[0]) : 0;
        if (count > 0) {
            std::memcpy(reply_record.bytes, report + 1, size_t(count));
            reply_record.length = count;
            return true;
        }
        if (!polled) return false;
    }
    return false;
}

namespace {

// The program-wide link behind the frame-link operations.
class LocalLink final : public RawHidLink {
public:
    int open() override { return link_open(); }
    void close() override { link_close(); }
    bool is_open() const override { return link_is_open(); }
    int mode() const override { return device_link.mode; }
    void send_frame(uint8_t command, const uint8_t* data, int n) override { ::send_frame(command, data, n); }
    bool poll_frame() override { return ::poll_frame(); }
    void drain_frames() override { ::drain_frames(); }
    void send_command(uint8_t command, const uint8_t* data, int n) override { ::send_command(command, data, n); }
    bool boot_send(const uint8_t* data, int count) override { return ::boot_send(data, count); }
    bool boot_read(int attempts) override { return ::boot_read(attempts); }
    const ReplyRecord& reply() const override { return reply_record; }
    const char* refused_node() const override { return link_refused_node(); }

    int write_raw_report(const uint8_t* report, int n) override {
        if (!link_is_open() || n < 0) return -1;
        return hid_backend().write(device_link.handle, report, size_t(n));
    }
    int read_raw_report(uint8_t* report, int n) override {
        if (!link_is_open() || n < 0) return -1;
        return hid_backend().read(device_link.handle, report, size_t(n));
    }
    void set_blocking_reads() override {
        if (link_is_open()) hid_backend().set_nonblocking(device_link.handle, 0);
    }
    void return_event_texts(bool returned) override { event_texts_returned = returned; }
};

}  // namespace

RawHidLink& local_link() {
    static LocalLink link;
    return link;
}
