// A firmware variant change: the flash and the module found again after it.
#include "firmware/variant_change.h"

#include <gtk/gtk.h>

#include "device/module_link.h"
#include "firmware/bootloader.h"
#include "firmware/firmware_select.h"
#include "firmware/flash.h"
#include "i18n/message_ids.h"
#include "i18n/messages.h"
#include "ui/dialogs.h"

namespace {

bool process_events(void*) {
    while (gtk_events_pending()) gtk_main_iteration();
    return true;
}

}  // namespace

bool change_firmware_variant(int can_level) {
    if (!select_and_flash(SELECT_SAME_VERSION, FLASH_QUIET_SUCCESS, can_level)) return false;
    if (find_module_after_flash(module_link(), RESTART_LOOKS, RESTART_PAUSE_MS, process_events, nullptr) == 1)
        return true;
    // Only its bootloader runs, or nothing: the main loop finds what is there.
    module_link().close();
    show_message(message_text(MSG_COMMUNICATION_PROBLEM));
    return false;
}
