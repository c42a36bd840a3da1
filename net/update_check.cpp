// The update check.
#include "net/update_check.h"

#include <gtk/gtk.h>

#include "app/menu_bar.h"
#include "app/settings.h"

const char* check_for_updates() { return nullptr; }

void toggle_update_check() {
    settings.check_updates_at_startup = settings.check_updates_at_startup ? 0 : 1;
    save_settings();
    if (update_toggle_label) gtk_label_set_text(GTK_LABEL(update_toggle_label), update_toggle_caption());
}
