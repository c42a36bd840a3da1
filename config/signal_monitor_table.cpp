// The signal monitor's table and the reading of the signal map reply.
#include "config/signal_monitor_table.h"

// The monitor writes "UNLOCK TRUNK" and "FIAT_TX" where the pin lists have
// "UNLOCKTRUNK" and "Fiat_TX"; bits 21 to 23 exist only here.
const MonitorEntry MONITOR_TABLE[MONITOR_SIGNAL_COUNT] = {
    {"LOCK", 0xCD0000},
    {"UNLOCK", 0x00CD00},
    {"UNLOCK TRUNK", 0x008B00},
    {"ALARM", 0xFF0000},
    {"ALARM_OEM", 0xEEEE00},
    {"", 0x000000},
    {"LOCK_STATE", 0xFFA54F},
    {"LOCKwoTRUNK_STATE", 0xEE9A49},
    {"DOOR_FRONT_LEFT", 0xCAE1FF},
    {"DOOR_FRONT_RIGHT", 0xBCD2EE},
    {"DOOR_REAR_LEFT", 0xBFEFFF},
    {"DOOR_REAR_RIGHT", 0xB2DFEE},
    {"TRUNK", 0x00BFFF},
    {"BONNET", 0x63B8FF},
    {"DOOR_OTHER", 0x5CACEE},
    {"DOOR/TRUNK/BONNET", 0x7FFFD4},
    {"IGNITION", 0xFF0000},
    {"ACC", 0xEE0000},
    {"HZD_LEFT", 0x00EE76},
    {"HAZARD_LIGHTS", 0xEEEE00},
    {"HZD_RIGHT", 0x00FF7F},
    {"STATUS1-", 0x00FF7F},
    {"STATUS2-", 0x1E90FF},
    {"STATUS3+", 0xEE9A00},
    {"SEND_LOCK", 0xCD0000},
    {"SEND_UNLOCK_DRV", 0x00CD00},
    {"SEND_UNLOCK_ALL", 0x008B00},
    {"SEND_OPEN_TRUNK", 0xFF0000},
    {"SEND_OPEN_WIN", 0xFF0000},
    {"SEND_CLOSE_WIN", 0x0000FF},
    {"SEND_SLIDEDOOR_L", 0x00FF00},
    {"SEND_SLIDEDOOR_R", 0xEE9A49},
    {"SEND_HAZARD_LIGHTS", 0xEEEE00},
    {"ENGINE_RPM", 0xFFFF00},
    {"VEHICLE_SPEED", 0xCDCD00},
    {"FIAT_TX", 0xADD8E6},
    {"", 0x000000},
    {"REVERSE_LIGHT", 0x90EE90},
    {"", 0x000000},
    {"", 0x000000},
};

bool decode_signal_map(const ReplyRecord& reply, uint64_t* map) {
    // bytes: length byte, reply code, data; five data bytes make the length byte 6.
    constexpr int MAP_BYTES = MONITOR_SIGNAL_COUNT / 8;
    if (reply.bytes[1] != SIGNAL_MAP_REPLY || reply.bytes[0] < MAP_BYTES + 1) return false;
    uint64_t value = 0;
    for (int i = 0; i < MAP_BYTES; ++i) value |= uint64_t(reply.bytes[2 + i]) << (8 * i);
    *map = value;
    return true;
}

void request_signal_map(FrameLink& link) {
    const uint8_t request = 0x00;
    link.send_frame(SIGNAL_MAP_COMMAND, &request, 1);
}

bool read_signal_map(FrameLink& link, uint64_t* map, int polls) {
    request_signal_map(link);
    for (int poll = 0; poll < polls; ++poll)
        if (link.poll_frame() && decode_signal_map(link.reply(), map)) return true;
    return false;
}
