// Reading the module's handshake and identity replies; no toolkit, no messages, so
// that the operator's tool uses the same code.
#include <cstdio>

#include "connection/connection.h"

namespace {
// Identity reply data bytes: ReplyRecord bytes 2 to 6.
uint8_t data_byte(const ReplyRecord& reply, int n) { return reply.bytes[2 + n]; }
}  // namespace

DeviceIdentity decode_identity(const ReplyRecord& reply) {
    DeviceIdentity identity;
    const uint8_t low = data_byte(reply, 0);
    const uint8_t high = data_byte(reply, 1);
    identity.model = low + 256 * high;
    if (low == 0x2D && high == 0x20) identity.model = SUPPORTED_MODEL;
    identity.firmware_version = data_byte(reply, 2) * 256 + data_byte(reply, 3);
    int v = reply.bytes[0] == 6 ? data_byte(reply, 4) : 0;
    identity.variant_flag = uint8_t(v & 0x80);
    if (identity.variant_flag) v &= 0x7F;
    if (v) v += 64;
    identity.variant_letter = v;
    return identity;
}

bool is_handshake_reply(const ReplyRecord& reply) {
    return reply.bytes[1] == 0x07 && reply.bytes[2] == 0x02 && reply.bytes[3] == 0x01;
}

void format_module_status(const ReplyRecord& reply, const DeviceIdentity& identity, char* out, int size) {
    std::snprintf(out, size_t(size), "QV%d-%02d%02d", int(identity.model), data_byte(reply, 2), data_byte(reply, 3));
}


bool judge_identification_reply(bool polled, const ReplyRecord& reply, int* state) {
    if (!polled) return false;
    if (*state == HANDSHAKE && is_handshake_reply(reply)) {
        *state = IDENTIFYING;
        return false;
    }
    return reply.bytes[1] == 0x08 && (*state == HANDSHAKE || *state == IDENTIFYING);
}

void ask_identification(FrameLink& link, int state) {
    if (state == HANDSHAKE) link.send_frame(0x01, nullptr, 0);
    else if (state == IDENTIFYING) link.send_frame(0x04, nullptr, 0);
}

bool identify_module(FrameLink& link, int passes) {
    int state = HANDSHAKE;
    for (int pass = 0; pass < passes; ++pass) {
        if (judge_identification_reply(link.poll_frame(), link.reply(), &state)) return true;
        ask_identification(link, state);
    }
    return false;
}
