// The configuration editor's box: layout, column titles and buttons.
#include "config/config_editor.h"

#include "config/config_transfer.h"
#include "config/pin_rows.h"
#include "config/signal_monitor.h"
#include "config/vehicle_selector.h"
#include "connection/connection.h"
#include "device/module_link.h"
#include "i18n/message_ids.h"
#include "i18n/messages.h"
#include "ui/main_window_elements.h"
#include "ui/widgets.h"

namespace {

GtkWidget* editor_box = nullptr;

void forget_editor(GtkWidget*, gpointer) {
    editor_box = nullptr;
    forget_pin_rows();
    forget_vehicle_selector();
}

void pack(GtkWidget* box, GtkWidget* widget) { gtk_box_pack_start(GTK_BOX(box), widget, FALSE, FALSE, 0); }

GtkWidget* new_row(GtkWidget* box) {
    GtkWidget* row = gtk_hbox_new(FALSE, 0);
    gtk_widget_show(row);
    pack(box, row);
    return row;
}

void add_title(GtkWidget* row, const char* text, int width) {
    GtkWidget* title = new_sized_label(text, width, 25);
    gtk_misc_set_alignment(GTK_MISC(title), 0.0f, 0.5f);
    gtk_widget_modify_font(title, main_fonts.editor);
    pack(row, title);
}

void add_column_titles(GtkWidget* box) {
    GtkWidget* row = new_row(box);
    pack(row, new_sized_label("", advanced_view ? 25 : 100, 25));
    add_title(row, message_text(MSG_PIN), 250);
    add_title(row, message_text(MSG_SIGNAL), 180);
    add_bottom_spacer(row);
    if (advanced_view) {
        add_title(row, "Inv:", 30);
        add_bottom_spacer(row);
    }
    add_title(row, message_text(MSG_IO_TYPE), 200);
    add_bottom_spacer(row);
    if (advanced_view) add_title(row, message_text(MSG_TRIGGER), 140);
}

// A click that reaches a button while an exchange waits (a screen reader's gets past
// the input grab) would run inside that exchange: it is ignored, as a mouse click is.
void on_signal_monitor(GtkWidget*, gpointer) {
    if (!module_link_busy()) open_signal_monitor();
}
void on_default_settings(GtkWidget*, gpointer) { load_default_configuration(); }
void on_load(GtkWidget*, gpointer) {
    if (!module_link_busy()) read_configuration();
}
void on_save(GtkWidget*, gpointer) {
    if (!module_link_busy()) write_configuration();
}

void add_buttons(GtkWidget* box) {
    const struct {
        int message;
        void (*handler)(GtkWidget*, gpointer);
    } buttons[] = {{MSG_SIGNAL_MONITOR, on_signal_monitor},
                   {MSG_DEFAULT_SETTINGS, on_default_settings},
                   {MSG_LOAD, on_load},
                   {MSG_SAVE, on_save}};
    GtkWidget* row = new_row(box);
    pack(row, new_sized_label("", 40, 35));
    for (const auto& b : buttons) {
        pack(row, new_sized_label("", 40, 35));
        GtkWidget* button = new_button(message_text(b.message));
        gtk_widget_set_size_request(button, -1, 35);
        g_signal_connect(button, "clicked", G_CALLBACK(b.handler), nullptr);
        pack(row, button);
    }
}

}  // namespace

void build_config_editor(GtkWidget* main_box) {
    destroy_config_editor();
    editor_box = gtk_vbox_new(FALSE, 0);
    g_signal_connect(editor_box, "destroy", G_CALLBACK(forget_editor), nullptr);
    gtk_widget_show(editor_box);
    pack(main_box, editor_box);

    build_vehicle_selector(editor_box);
    pack(editor_box, new_sized_label("", 20, 15));
    add_hseparator(editor_box);
    pack(editor_box, new_sized_label("", 20, 15));
    add_column_titles(editor_box);
    build_pin_rows(editor_box);
    add_buttons(editor_box);
}

void destroy_config_editor() {
    if (editor_box) gtk_widget_destroy(editor_box);
    editor_box = nullptr;
}

bool config_editor_exists() { return editor_box != nullptr; }

int editor_can_level() { return editor_box ? can_level_value() : 1; }

GtkWidget* config_editor_box() { return editor_box; }

void set_config_editor_busy(bool busy) {
    if (editor_box) gtk_widget_set_sensitive(editor_box, !busy);
}
