// The connection state and the module's identity, and the text for a module of another model.
#include "connection/connection.h"

#include <cstdio>

#include "i18n/message_ids.h"
#include "i18n/messages.h"

int connection_state = SEARCHING;
DeviceIdentity device_identity;
unsigned char advanced_view = 0;

namespace {
// Identity reply data bytes: ReplyRecord bytes 2 to 6.
uint8_t data_byte(const ReplyRecord& reply, int n) { return reply.bytes[2 + n]; }
}  // namespace

void format_incompatible_text(const ReplyRecord& reply, const DeviceIdentity& identity, char* out, int size) {
    std::snprintf(out, size_t(size), message_text(MSG_INCOMPATIBLE_FIRMWARE), int(identity.model), data_byte(reply, 2),
                  data_byte(reply, 3), 255, 255);
}
