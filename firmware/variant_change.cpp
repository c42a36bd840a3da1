// A firmware variant change with the module's identity checked after the flash.
#include "firmware/variant_change.h"

#include <gtk/gtk.h>

#include "connection/connection.h"
#include "device/link.h"
#include "device/module_link.h"
#include "firmware/firmware_select.h"
#include "firmware/flash.h"
#include "i18n/message_ids.h"
#include "i18n/messages.h"
#include "platform/clock.h"
#include "ui/dialogs.h"
#include "ui/main_window_elements.h"

namespace {

// The module restarts after its flash: looked for this many times, as the main loop
// would, before it counts as gone.
constexpr int FIND_AGAIN_TRIES = 50;
constexpr int FIND_AGAIN_PAUSE_MS = 100;
// The handshake and the identity request are each sent up to this many times.
constexpr int IDENTIFY_TRIES = 10;

constexpr uint8_t COMMAND_HANDSHAKE = 0x01;
constexpr uint8_t COMMAND_IDENTITY = 0x04;
constexpr uint8_t REPLY_IDENTITY = 0x08;

bool find_application_again() {
    for (int attempt = 0; attempt < FIND_AGAIN_TRIES; ++attempt) {
        switch (module_link().open()) {
        case 1:
            return true;
        case 2:
            // Only its bootloader runs: the main loop offers to program it.
            module_link().close();
            return false;
        default:
            break;
        }
        platform::sleep_ms(FIND_AGAIN_PAUSE_MS);
        while (gtk_events_pending()) gtk_main_iteration();
    }
    return false;
}

bool is_identity_reply(const ReplyRecord& reply) { return reply.bytes[1] == REPLY_IDENTITY; }

// Sends `command` until a reply that `answered` accepts arrives.
bool exchange(uint8_t command, bool (*answered)(const ReplyRecord&)) {
    FrameLink& link = module_link();
    for (int attempt = 0; attempt < IDENTIFY_TRIES && link.is_open(); ++attempt) {
        link.send_command(command, nullptr, 0);
        for (int poll = 0; poll < READ_REPLY_ATTEMPTS; ++poll)
            if (link.poll_frame() && answered(link.reply())) return true;
    }
    return false;
}

void record_identity(const DeviceIdentity& identity) {
    device_identity = identity;
    if (!main_window.status_label) return;
    char text[64];
    format_module_status(module_link().reply(), device_identity, text, sizeof text);
    gtk_label_set_text(GTK_LABEL(main_window.status_label), text);
}

bool fail(int message) {
    module_link().close();
    show_message(message_text(message));
    return false;
}

}  // namespace

bool change_firmware_variant(char letter, int can_level) {
    if (!select_and_flash(SELECT_SAME_VERSION, FLASH_QUIET_SUCCESS, can_level)) return false;
    if (!find_application_again() || !exchange(COMMAND_HANDSHAKE, is_handshake_reply) ||
        !exchange(COMMAND_IDENTITY, is_identity_reply))
        return fail(MSG_COMMUNICATION_PROBLEM);
    const DeviceIdentity identity = decode_identity(module_link().reply());
    // The file that was there is not the variant the level needs (a file without a
    // variant suffix, say): the level must not go to a module that cannot run it.
    if (identity.model != SUPPORTED_MODEL || identity.variant_letter != letter) return fail(MSG_NO_VARIANT_FIRMWARE);
    record_identity(identity);
    show_message(message_text(MSG_PROGRAMMED));
    return true;
}
