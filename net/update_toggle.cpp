// The Tools menu's update toggle item: its label and the caption it shows.
#include "net/update_toggle.h"

#include "i18n/message_ids.h"
#include "i18n/messages.h"
#include "settings/settings.h"

namespace {
}  // namespace

GtkWidget* update_toggle_label = nullptr;

const char* update_toggle_caption() {
    return message_text(settings.check_updates_at_startup ? MSG_DO_NOT_CHECK_UPDATES : MSG_CHECK_UPDATES);
}
