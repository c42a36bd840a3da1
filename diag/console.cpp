// The console window: command and data entries, history keys, and the event log view.
#include "diag/console.h"

#include <gdk/gdkkeysyms.h>

#include "device/module_link.h"
#include "diag/console_send.h"
#include "diag/console_text.h"
#include "diag/event_log.h"
#include "diag/log_filter_window.h"
#include "diag/log_view.h"
#include "i18n/message_ids.h"
#include "i18n/messages.h"
#include "ui/dialogs.h"
#include "ui/widgets.h"

ConsoleWindow console_window;

namespace {

constexpr int WINDOW_WIDTH = 900;
constexpr int WINDOW_HEIGHT = 500;

const GdkColor RED = {0, 0xFFFF, 0, 0};

void mark_entry_red(GtkWidget* entry, bool red) {
    gtk_widget_modify_base(entry, GTK_STATE_NORMAL, red ? &RED : nullptr);
}

const char* entry_text(GtkWidget* entry) { return gtk_entry_get_text(GTK_ENTRY(entry)); }

gboolean on_window_key(GtkWidget*, GdkEventKey* event, gpointer) {
    if (event->keyval != GDK_F8) return FALSE;
    clear_log();
    return TRUE;
}

gboolean on_delete(GtkWidget*, GdkEvent*, gpointer) {
    close_console();
    return TRUE;
}

void on_send(GtkWidget*, gpointer) { console_send(); }

GtkWidget* new_entry(int max_chars) {
    GtkWidget* entry = gtk_entry_new();
    gtk_entry_set_max_length(GTK_ENTRY(entry), max_chars);
    g_signal_connect(entry, "key-press-event", G_CALLBACK(console_key), nullptr);
    gtk_widget_show(entry);
    return entry;
}

GtkWidget* build_command_row() {
    ConsoleWindow& w = console_window;
    GtkWidget* row = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(row), new_label(message_text(MSG_COMMAND)), FALSE, FALSE, 0);
    w.command_entry = new_entry(HISTORY_COMMAND_CHARS);
    gtk_widget_set_size_request(w.command_entry, 30, 20);
    gtk_box_pack_start(GTK_BOX(row), w.command_entry, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(row), new_label(message_text(MSG_DATA)), FALSE, FALSE, 0);
    w.data_entry = new_entry(CONSOLE_DATA_MAX_CHARS);
    gtk_box_pack_start(GTK_BOX(row), w.data_entry, TRUE, TRUE, 0);
    w.send_button = new_button(message_text(MSG_SEND));
    g_signal_connect(w.send_button, "clicked", G_CALLBACK(on_send), nullptr);
    gtk_box_pack_start(GTK_BOX(row), w.send_button, FALSE, FALSE, 0);
    w.autoscroll = new_check_button("Autoscroll");
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w.autoscroll), TRUE);
    gtk_box_pack_start(GTK_BOX(row), w.autoscroll, FALSE, FALSE, 0);
    w.response = new_check_button("Response");
    gtk_box_pack_start(GTK_BOX(row), w.response, FALSE, FALSE, 0);
    w.filter = gtk_toggle_button_new_with_label(message_text(MSG_FILTER));
    g_signal_connect(w.filter, "toggled", G_CALLBACK(filter_toggled), nullptr);
    gtk_widget_show(w.filter);
    gtk_box_pack_start(GTK_BOX(row), w.filter, FALSE, FALSE, 0);
    w.log_file_button = new_log_file_button();
    gtk_box_pack_start(GTK_BOX(row), w.log_file_button, FALSE, FALSE, 0);
    gtk_widget_show(row);
    return row;
}

void show_history_slot(int slot) {
    gtk_entry_set_text(GTK_ENTRY(console_window.command_entry), command_history.command[slot]);
    gtk_entry_set_text(GTK_ENTRY(console_window.data_entry), command_history.data[slot]);
}

}  // namespace

void open_console() {
    if (console_window.window) {
        gtk_window_present(GTK_WINDOW(console_window.window));
        return;
    }
    // The console goes first when the tool windows are closed.
    register_tool_window_closer(close_console);
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    console_window.window = window;
    gtk_window_set_title(GTK_WINDOW(window), message_text(MSG_CONSOLE));
    gtk_window_set_default_size(GTK_WINDOW(window), WINDOW_WIDTH, WINDOW_HEIGHT);
    g_signal_connect(window, "delete-event", G_CALLBACK(on_delete), nullptr);
    g_signal_connect(window, "key-press-event", G_CALLBACK(on_window_key), nullptr);

    GtkWidget* vbox = gtk_vbox_new(FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window), vbox);
    gtk_box_pack_start(GTK_BOX(vbox), build_command_row(), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(vbox), load_view(console_window.autoscroll), TRUE, TRUE, 0);
    gtk_widget_show(vbox);
    gtk_widget_show(window);
    gtk_widget_grab_focus(console_window.command_entry);
}

void close_console() {
    if (!console_window.window) return;
    GtkWidget* window = console_window.window;
    close_view();
    close_filter_window();
    console_window = ConsoleWindow();
    gtk_widget_destroy(window);
}

bool console_open() { return console_window.window != nullptr; }

void console_send() {
    ConsoleWindow& w = console_window;
    // Sent while an exchange waits and the window handles its events meanwhile, it
    // would run inside that exchange: ignored, as a click is then.
    if (!w.window || module_link_busy()) return;
    const bool wait = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w.response));
    const ConsoleSend result = console_send_texts(entry_text(w.command_entry), entry_text(w.data_entry), wait);
    // The window may have gone while the module was read (the module was lost).
    if (!console_window.window) return;
    mark_entry_red(w.command_entry, result == ConsoleSend::BAD_COMMAND);
    mark_entry_red(w.data_entry, result == ConsoleSend::DATA_TOO_LONG);
}

gboolean console_key(GtkWidget*, GdkEventKey* event, gpointer) {
    if (event->keyval == GDK_Return) {
        console_send();
        return TRUE;
    }
    if (event->keyval != GDK_Up && event->keyval != GDK_Down) return FALSE;
    const int step = event->keyval == GDK_Up ? -1 : 1;
    show_history_slot(history_step(command_history, entry_text(console_window.command_entry),
                                   entry_text(console_window.data_entry), step));
    return TRUE;
}
