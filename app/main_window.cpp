// Building the main window: fonts, handlers, scrolled area, size, status rows.
#include <cstdlib>

#include <gdk/gdkkeysyms.h>

#include "app/app.h"
#include "app/key_chord.h"
#include "app/menu_bar.h"
#include "app/window_sizing.h"
#include "config/config_editor.h"
#include "device/module_link.h"
#include "device/module_link.h"
#include "diag/console.h"
#include "firmware/autoflash.h"
#include "i18n/message_ids.h"
#include "i18n/messages.h"
#include "platform/monitors.h"
#include "ui/dialogs.h"
#include "ui/widgets.h"

namespace {

gboolean on_delete(GtkWidget*, GdkEvent*, gpointer) {
    module_link().close();
    std::exit(0);
}

void make_fonts() {
    main_fonts.large = pango_font_description_from_string("Arial 18");
    main_fonts.info = pango_font_description_from_string("Arial 12");
    main_fonts.editor = pango_font_description_from_string("Arial 14");
}

void add_status_rows() {
    GtkWidget* status_row = gtk_hbox_new(FALSE, 1);
    gtk_box_pack_start(GTK_BOX(main_window.main_box), status_row, FALSE, FALSE, 1);
    gtk_box_pack_start(GTK_BOX(status_row), new_sized_label("", 300, 10), FALSE, FALSE, 0);
    main_window.status_label = new_label("");
    gtk_widget_modify_font(main_window.status_label, main_fonts.large);
    gtk_misc_set_alignment(GTK_MISC(main_window.status_label), 0.5f, 0.5f);
    gtk_box_pack_start(GTK_BOX(status_row), main_window.status_label, TRUE, TRUE, 0);
    main_window.status_right = new_sized_label("", 300, 10);
    gtk_misc_set_alignment(GTK_MISC(main_window.status_right), 1.0f, 0.5f);
    gtk_box_pack_start(GTK_BOX(status_row), main_window.status_right, FALSE, FALSE, 0);
    gtk_widget_show(status_row);

    GtkWidget* second_row = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(main_window.main_box), second_row, FALSE, FALSE, 1);
    main_window.info_label = new_label("");
    gtk_widget_modify_font(main_window.info_label, main_fonts.info);
    gtk_misc_set_alignment(GTK_MISC(main_window.info_label), 0.5f, 0.0f);
    gtk_box_pack_start(GTK_BOX(second_row), main_window.info_label, TRUE, TRUE, 1);
    main_window.indicator_label = new_label("");
    const GdkColor red = {0, 0xFFFF, 0, 0};
    gtk_widget_modify_fg(main_window.indicator_label, GTK_STATE_NORMAL, &red);
    gtk_widget_modify_font(main_window.indicator_label, main_fonts.large);
    gtk_box_pack_start(GTK_BOX(second_row), main_window.indicator_label, FALSE, FALSE, 1);
    gtk_widget_show(second_row);
}

void size_window() {
    if (fits_fixed_size(platform::monitor_work_areas())) {
        gtk_widget_set_size_request(main_window.scrolled, MAIN_AREA_WIDTH, MAIN_AREA_HEIGHT);
        gtk_window_set_resizable(GTK_WINDOW(main_window.window), FALSE);
    } else {
        gtk_window_maximize(GTK_WINDOW(main_window.window));
    }
}

bool control_held(const GdkEventKey* event) { return event->state & GDK_CONTROL_MASK; }

}  // namespace

// Ctrl+Shift+E (the key value upper-case E) switches the editor's view: the module
// is closed and the connection sequence rebuilds the editor.
gboolean on_view_key(GtkWidget*, GdkEventKey* event, gpointer) {
    if (!control_held(event) || event->keyval != GDK_E || !config_editor_exists()) return FALSE;
    advanced_view = !advanced_view;
    module_link().close();
    return TRUE;
}

gboolean on_autoflash_key(GtkWidget*, GdkEventKey* event, gpointer) {
    // Num Lock is usually Mod2: counted as a chord modifier it would make a plain
    // Ctrl+F open a feature that flashes firmware by itself.
    if (!is_autoflash_chord(event->state, event->keyval, lock_modifier_masks())) return FALSE;
    if (module_link_is_remote()) {
        show_message("AUTOFLASH is not available on a remote module: it watches a folder on the computer "
                     "the module is plugged into.");
        return TRUE;
    }
    choose_autoflash_folder();
    return TRUE;
}

gboolean on_console_key(GtkWidget*, GdkEventKey* event, gpointer) {
    if (!control_held(event) || (event->keyval != GDK_S && event->keyval != GDK_s)) return FALSE;
    open_console();
    return TRUE;
}

void build_main_window(const char* update_text) {
    make_fonts();

    char title[200];
    g_snprintf(title, sizeof title, message_text(MSG_PROGRAM_TITLE), "450", 2, 4, 0);
    main_window.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(main_window.window), title);
    gtk_container_set_border_width(GTK_CONTAINER(main_window.window), 4);
    g_signal_connect(main_window.window, "key_press_event", G_CALLBACK(on_view_key), nullptr);
    g_signal_connect(main_window.window, "delete-event", G_CALLBACK(on_delete), nullptr);
    g_signal_connect(main_window.window, "key_press_event", G_CALLBACK(on_autoflash_key), nullptr);
    g_signal_connect(main_window.window, "key_press_event", G_CALLBACK(on_console_key), nullptr);

    main_window.scrolled = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(main_window.scrolled), GTK_POLICY_AUTOMATIC,
                                   GTK_POLICY_AUTOMATIC);
    gtk_container_add(GTK_CONTAINER(main_window.window), main_window.scrolled);
    main_window.main_box = gtk_vbox_new(FALSE, 0);
    gtk_scrolled_window_add_with_viewport(GTK_SCROLLED_WINDOW(main_window.scrolled), main_window.main_box);
    gtk_widget_show(main_window.main_box);
    gtk_widget_show(main_window.scrolled);

    size_window();
    build_menu_bar(main_window.main_box);
    if (update_text) show_message(update_text);
    add_status_rows();
}
