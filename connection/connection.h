// The module's connection state and identity, and the pure steps of judging an
// identity reply. No GTK here.
#pragma once

#include <cstdint>

#include "device/link.h"

enum ConnectionState {
    SEARCHING = 0,
    HANDSHAKE = 8,
    IDENTIFYING = 9,
    CONNECTED = 16,
};

constexpr int SUPPORTED_MODEL = 450;

struct DeviceIdentity {
    int32_t model = 0;
    int32_t firmware_version = 0;  // high byte first number, low byte second (16.05: 0x1005)
    int32_t variant_letter = 0;    // 0, or 'A' for variant 1, 'B' for 2, ...
    uint8_t variant_flag = 0;      // non-zero: the "J" form of the variant's file names
};

extern int connection_state;
extern DeviceIdentity device_identity;
// The editor's extra columns; toggled by Ctrl+Shift+E.
extern unsigned char advanced_view;

// The identity in an identity reply (reply code 0x08): data bytes model low, model
// high, first and second version number, and a variant byte when the length byte is 6.
// The model bytes '-' ' ' stand for 450.
DeviceIdentity decode_identity(const ReplyRecord& reply);

// True for the handshake's answer: reply code 7 with data 2, 1.
bool is_handshake_reply(const ReplyRecord& reply);

// The connection sequence's identification, one pass at a time on a link. The frame
// polled this pass (`polled` false: none) moves HANDSHAKE on to IDENTIFYING; true when
// it is the identity reply (reply code 0x08, in HANDSHAKE or IDENTIFYING).
bool judge_identification_reply(bool polled, const ReplyRecord& reply, int* state);
// Asks for what the state waits for: command 0x01 in HANDSHAKE, 0x04 in IDENTIFYING.
void ask_identification(FrameLink& link, int state);
// The whole identification for callers without a main loop: up to `passes` polls,
// each followed by the question of its state. True with the identity reply in
// link.reply().
bool identify_module(FrameLink& link, int passes);

// The status text of an accepted module, "QV450-1605".
void format_module_status(const ReplyRecord& reply, const DeviceIdentity& identity, char* out, int size);

// Message 14's text for a module of another model.
void format_incompatible_text(const ReplyRecord& reply, const DeviceIdentity& identity, char* out, int size);
