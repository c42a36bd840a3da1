// The relay stream's state characters and its escape, shared by both ends.
#include "net/relay_stream.h"

#include "device/frame_link.h"

char relay_state_character(int link_mode, bool serial_open) {
    switch (link_mode) {
    case LINK_PROGRAMMER: return RELAY_STATE_PROGRAMMER;
    case LINK_BOOTLOADER: return RELAY_STATE_BOOTLOADER;
    case LINK_USBIC: return RELAY_STATE_USBIC;
    default: return serial_open ? RELAY_STATE_SERIAL : RELAY_STATE_NOTHING;
    }
}

int relay_state_link_mode(char state) {
    switch (state) {
    case RELAY_STATE_PROGRAMMER: return LINK_PROGRAMMER;
    case RELAY_STATE_BOOTLOADER: return LINK_BOOTLOADER;
    case RELAY_STATE_USBIC: return LINK_USBIC;
    default: return LINK_NONE;
    }
}

bool is_relay_state_character(char c) {
    return c == RELAY_STATE_PROGRAMMER || c == RELAY_STATE_BOOTLOADER || c == RELAY_STATE_USBIC ||
           c == RELAY_STATE_SERIAL || c == RELAY_STATE_NOTHING;
}

std::string relay_command(char letter, char second) {
    std::string command{RELAY_ESCAPE, letter};
    if (second) command.push_back(second);
    return command;
}

int escape_relay_bytes(const uint8_t* bytes, int n, uint8_t* out) {
    int fill = 0;
    for (int i = 0; i < n; ++i) {
        out[fill++] = bytes[i];
        if (bytes[i] == RELAY_ESCAPE) out[fill++] = RELAY_ESCAPE;
    }
    return fill;
}

std::string escape_serial(const std::string& data) {
    std::string out(data.size() * 2, '\0');
    const int n = escape_relay_bytes(reinterpret_cast<const uint8_t*>(data.data()), int(data.size()),
                                     reinterpret_cast<uint8_t*>(&out[0]));
    out.resize(size_t(n));
    return out;
}
