// The two windows that refuse a module: another model, or no application firmware.
#include <cstdlib>

#include "app/app.h"
#include "firmware/flash.h"
#include "i18n/message_ids.h"
#include "i18n/messages.h"
#include "net/remote_access.h"
#include "ui/dialogs.h"
#include "ui/widgets.h"

namespace {

GtkWidget* add_button(GtkWidget* row, const char* text, int width, GCallback clicked) {
    gtk_box_pack_start(GTK_BOX(row), new_sized_label("", 10, 15), FALSE, FALSE, 0);
    GtkWidget* button = new_button(text);
    gtk_widget_set_size_request(button, width, 25);
    g_signal_connect(button, "clicked", clicked, nullptr);
    gtk_box_pack_start(GTK_BOX(row), button, FALSE, FALSE, 0);
    return button;
}

// Fills the message window slot with a modal window holding the text and an empty
// button row, which it returns.
GtkWidget* open_connection_window(const char* text) {
    close_message_window();
    message_window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* window = GTK_WINDOW(message_window);
    gtk_window_set_modal(window, TRUE);
    gtk_window_set_resizable(window, FALSE);
    gtk_window_set_deletable(window, FALSE);
    gtk_window_set_position(window, GTK_WIN_POS_CENTER_ALWAYS);
    gtk_window_set_title(window, message_text(MSG_MESSAGE_TITLE));
    // Only the buttons close it.
    g_signal_connect(message_window, "delete-event", G_CALLBACK(gtk_true), nullptr);

    GtkWidget* box = gtk_vbox_new(FALSE, 0);
    gtk_container_add(GTK_CONTAINER(message_window), box);
    gtk_box_pack_start(GTK_BOX(box), new_sized_label("", 400, 15), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), new_label(text), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), new_sized_label("", 400, 15), FALSE, FALSE, 0);
    GtkWidget* row = gtk_hbox_new(FALSE, 1);
    gtk_box_pack_start(GTK_BOX(box), row, TRUE, TRUE, 1);
    add_bottom_spacer(box);
    gtk_widget_show(row);
    gtk_widget_show(box);
    return row;
}

void show_and_wait() {
    gtk_widget_show(message_window);
    gtk_window_present(GTK_WINDOW(message_window));
    gtk_window_set_keep_above(GTK_WINDOW(message_window), TRUE);
    wait_message_closed();
}

void on_exit_program(GtkWidget*, gpointer) { std::exit(0); }

void on_change_firmware(GtkWidget*, gpointer) {
    close_message_window();
    flash_firmware(FLASH_CHOOSER_OPEN);
}

void on_program(GtkWidget*, gpointer) {
    close_message_window();
    flash_firmware(FLASH_CHOOSER);
}

void on_remote_access(GtkWidget*, gpointer) { open_remote_access_window(); }

}  // namespace

void show_incompatible_firmware(const char* text) {
    GtkWidget* row = open_connection_window(text);
    add_button(row, message_text(MSG_EXIT_PROGRAM), 170, G_CALLBACK(on_exit_program));
    add_button(row, message_text(MSG_CHANGE_FIRMWARE_BUTTON), 190, G_CALLBACK(on_change_firmware));
    show_and_wait();
}

void show_not_programmed() {
    GtkWidget* row = open_connection_window(message_text(MSG_NOT_PROGRAMMED));
    add_button(row, message_text(MSG_PROGRAM), 180, G_CALLBACK(on_program));
    add_button(row, message_text(MSG_ENABLE_REMOTE_ACCESS), 180, G_CALLBACK(on_remote_access));
    show_and_wait();
}
