// The editor's firmware variant change, on the shared variant step.
#include "firmware/variant_change.h"

#include <gtk/gtk.h>

#include "config/config_write.h"
#include "connection/connection.h"
#include "device/module_link.h"
#include "device/variant_check.h"
#include "firmware/bootloader.h"
#include "firmware/firmware_select.h"
#include "firmware/flash.h"
#include "i18n/messages.h"
#include "ui/dialogs.h"
#include "ui/main_window_elements.h"

namespace {

constexpr int MSG_PROGRAMMED = 26;
constexpr int MSG_NO_VARIANT_FIRMWARE = 50;
constexpr int MSG_COMMUNICATION_PROBLEM = 103;

bool process_events(void*) {
    while (gtk_events_pending()) gtk_main_iteration();
    return true;
}

class EditorVariantChange : public VariantChange {
public:
    int answer(int can_level) override { return variant_check(can_level); }
    bool change(char) override {
        if (!select_and_flash(SELECT_SAME_VERSION, FLASH_QUIET_SUCCESS)) return false;
        if (find_module_after_flash(module_link(), RESTART_LOOKS, RESTART_PAUSE_MS, process_events, nullptr) == 1)
            return true;
        // Only its bootloader runs, or nothing: the main loop finds what is there.
        return fail(MSG_COMMUNICATION_PROBLEM);
    }
    static bool fail(int message) {
        module_link().close();
        show_message(message_text(message));
        return false;
    }
};

void record_identity(const DeviceIdentity& identity) {
    device_identity = identity;
    if (!main_window.status_label) return;
    char text[64];
    format_module_status(module_link().reply(), device_identity, text, sizeof text);
    gtk_label_set_text(GTK_LABEL(main_window.status_label), text);
}

}  // namespace

bool editor_variant_ready(int can_level) {
    EditorVariantChange change;
    DeviceIdentity identity;
    switch (make_variant_ready(module_link(), can_level, change, &identity)) {
    case VariantStep::READY:
        return true;
    case VariantStep::CHANGED:
        record_identity(identity);
        show_message(message_text(MSG_PROGRAMMED));
        return true;
    case VariantStep::DECLINED:
    case VariantStep::NOT_CHANGED:
        return false;
    case VariantStep::NOT_IDENTIFIED:
        return EditorVariantChange::fail(MSG_COMMUNICATION_PROBLEM);
    case VariantStep::WRONG_VARIANT:
        // The file that was there is not the variant the level needs (a file without
        // a variant suffix, say).
        return EditorVariantChange::fail(MSG_NO_VARIANT_FIRMWARE);
    }
    return false;
}
