// The variant check before a configuration write: the table's decision, then the
// user's consent to a firmware change.
#include "config/variant_check.h"

#include "connection/connection.h"
#include "device/variant_table.h"
#include "i18n/message_ids.h"
#include "i18n/messages.h"
#include "ui/dialogs.h"
#include "ui/main_window_elements.h"

int variant_check(int can_level) {
    const char needed = variant_change_for_level(device_identity.variant_letter, can_level);
    if (needed == VARIANT_ANY) return VARIANT_ANY;
    return ask_question(main_window.window, message_text(MSG_VARIANT_CHANGE_QUESTION)) ? needed : 0;
}
