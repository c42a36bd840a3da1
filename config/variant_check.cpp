// The variant check before a configuration write: the table's decision, the user's
// consent to a firmware change, and the editor's side of the shared variant step.
#include "config/variant_check.h"

#include <gtk/gtk.h>

#include "config/config_write.h"
#include "connection/connection.h"
#include "device/module_link.h"
#include "device/variant_table.h"
#include "firmware/variant_change.h"
#include "i18n/message_ids.h"
#include "i18n/messages.h"
#include "ui/dialogs.h"
#include "ui/main_window_elements.h"

namespace {

class EditorVariantChange : public VariantChange {
public:
    explicit EditorVariantChange(int can_level) : can_level_(can_level) {}
    int answer(int can_level) override { return variant_check(can_level); }
    bool change(char) override { return change_firmware_variant(can_level_); }

private:
    const int can_level_;
};

bool fail(int message) {
    module_link().close();
    show_message(message_text(message));
    return false;
}

void record_identity(const DeviceIdentity& identity) {
    device_identity = identity;
    if (!main_window.status_label) return;
    char text[64];
    format_module_status(module_link().reply(), device_identity, text, sizeof text);
    gtk_label_set_text(GTK_LABEL(main_window.status_label), text);
}

}  // namespace

int variant_check(int can_level) {
    const char needed = variant_change_for_level(device_identity.variant_letter, can_level);
    if (needed == VARIANT_ANY) return VARIANT_ANY;
    return ask_question(main_window.window, message_text(MSG_VARIANT_CHANGE_QUESTION)) ? needed : 0;
}

bool editor_variant_ready(int can_level) {
    EditorVariantChange change(can_level);
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
        return fail(MSG_COMMUNICATION_PROBLEM);
    case VariantStep::WRONG_VARIANT:
        // The file that was there is not the variant the level needs (a file without
        // a variant suffix, say).
        return fail(MSG_NO_VARIANT_FIRMWARE);
    }
    return false;
}
