// The log filter's settings window: 25 tag rows and "untagged"; the red "Filter" toggle.
#include "diag/log_filter_window.h"

#include "diag/console.h"
#include "diag/log_filter.h"
#include "diag/log_view.h"
#include "i18n/message_ids.h"
#include "i18n/messages.h"
#include "settings/settings.h"
#include "ui/widgets.h"

FilterWindow filter_window;

namespace {

constexpr int TAG_ENTRY_WIDTH = 250;
constexpr int TAG_ENTRY_HEIGHT = 25;

const GdkColor RED = {0, 0xFFFF, 0, 0};

void paint_toggle(GtkWidget* toggle, const GdkColor* colour) {
    gtk_widget_modify_bg(toggle, GTK_STATE_ACTIVE, colour);
    gtk_widget_modify_bg(toggle, GTK_STATE_PRELIGHT, colour);
    if (!colour) gtk_widget_modify_bg(toggle, GTK_STATE_NORMAL, nullptr);
}

void on_ok(GtkWidget*, gpointer) { filter_ok(); }
void on_cancel(GtkWidget*, gpointer) { filter_cancel(); }

gboolean on_delete(GtkWidget*, GdkEvent*, gpointer) {
    filter_cancel();
    return TRUE;
}

GtkWidget* tag_row(int slot) {
    GtkWidget* row = gtk_hbox_new(FALSE, 0);
    filter_window.ticks[slot] = new_check_button("*");
    gtk_box_pack_start(GTK_BOX(row), filter_window.ticks[slot], FALSE, FALSE, 0);
    GtkWidget* entry = gtk_entry_new();
    gtk_entry_set_text(GTK_ENTRY(entry), settings.filter_tags[slot]);
    gtk_widget_set_size_request(entry, TAG_ENTRY_WIDTH, TAG_ENTRY_HEIGHT);
    gtk_widget_show(entry);
    filter_window.entries[slot] = entry;
    gtk_box_pack_start(GTK_BOX(row), entry, FALSE, FALSE, 0);
    gtk_widget_show(row);
    return row;
}

GtkWidget* button_row() {
    GtkWidget* row = gtk_hbox_new(FALSE, 0);
    GtkWidget* ok = new_button("OK");
    g_signal_connect(ok, "clicked", G_CALLBACK(on_ok), nullptr);
    gtk_box_pack_start(GTK_BOX(row), ok, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(row), new_label(""), TRUE, TRUE, 0);
    GtkWidget* cancel = new_button(message_text(MSG_CANCEL));
    g_signal_connect(cancel, "clicked", G_CALLBACK(on_cancel), nullptr);
    gtk_box_pack_start(GTK_BOX(row), cancel, FALSE, FALSE, 0);
    gtk_widget_show(row);
    return row;
}

void open_filter_window() {
    if (filter_window.window) return;
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    filter_window.window = window;
    gtk_window_set_modal(GTK_WINDOW(window), TRUE);
    gtk_window_set_title(GTK_WINDOW(window), message_text(MSG_FILTER_SETTINGS));
    g_signal_connect(window, "delete-event", G_CALLBACK(on_delete), nullptr);
    GtkWidget* vbox = gtk_vbox_new(FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window), vbox);
    filter_window.untagged = new_check_button("untagged");
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(filter_window.untagged), log_filter.show_untagged);
    gtk_box_pack_start(GTK_BOX(vbox), filter_window.untagged, FALSE, FALSE, 0);
    // The ticks always start clear: only the texts are kept between uses.
    for (int slot = 0; slot < FILTER_TAG_COUNT; ++slot)
        gtk_box_pack_start(GTK_BOX(vbox), tag_row(slot), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(vbox), button_row(), FALSE, FALSE, 0);
    gtk_widget_show(vbox);
    gtk_widget_show(window);
}

}  // namespace

void filter_toggled(GtkToggleButton* toggle, gpointer) {
    if (gtk_toggle_button_get_active(toggle)) {
        open_filter_window();
        return;
    }
    paint_toggle(GTK_WIDGET(toggle), nullptr);
    log_filter.filter_active = false;
    refilter_view();
}

void filter_ok() {
    FilterWindow& w = filter_window;
    if (!w.window) return;
    if (console_window.filter) paint_toggle(console_window.filter, &RED);
    log_filter.filter_active = true;
    log_filter.show_untagged = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w.untagged));
    log_filter.filter_mask = 0;
    for (int slot = 0; slot < FILTER_TAG_COUNT; ++slot) {
        if (gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w.ticks[slot]))) log_filter.filter_mask |= 1u << slot;
        set_filter_tag(slot, gtk_entry_get_text(GTK_ENTRY(w.entries[slot])));
    }
    save_settings();
    close_filter_window();
    refilter_view();
}

void filter_cancel() {
    if (!filter_window.window) return;
    // Releasing the toggle switches the filter off and restores the view.
    if (console_window.filter) gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(console_window.filter), FALSE);
    close_filter_window();
    log_filter.filter_active = false;
}

void close_filter_window() {
    if (!filter_window.window) return;
    GtkWidget* window = filter_window.window;
    filter_window = FilterWindow();
    gtk_widget_destroy(window);
}
