// The remote-access window: password, the connect toggle and the relay's status; the
// relay itself runs in relay_step.cpp and relay_commands.cpp.
#include "net/remote_access.h"

#include <gtk/gtk.h>

#include "device/link.h"
#include "diag/event_log.h"
#include "i18n/message_ids.h"
#include "i18n/messages.h"
#include "ui/dialogs.h"
#include "ui/main_window_elements.h"
#include "ui/widgets.h"

namespace {

bool active = false;

const char MODULE_LEFT_WITHOUT_FIRMWARE[] =
    "The remote session ended while the module's firmware was being replaced: the module has no working "
    "firmware now.\n\nClose this window: the tool then offers to program it (\"Program\"). Or connect again "
    "and let the support person flash it.";

struct RemoteWindow {
    GtkWidget* window = nullptr;
    GtkWidget* entry = nullptr;
    GtkWidget* toggle = nullptr;
    GtkWidget* server_label = nullptr;
    GtkWidget* status_label = nullptr;
};
RemoteWindow remote;

class WindowView : public RelayView {
public:
    void set_status(const char* text) override {
        if (remote.status_label) gtk_label_set_text(GTK_LABEL(remote.status_label), text);
    }
    void connection_lost() override { remote_disconnect(); }
};
WindowView window_view;

void switch_toggle_off() {
    // Runs the toggle's handler again, inactive: remote_disconnect.
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(remote.toggle), FALSE);
}

void on_toggle_clicked(GtkWidget* toggle, gpointer) {
    if (gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(toggle))) remote_connect();
    else remote_disconnect();
}

gboolean on_close_request(GtkWidget*, GdkEvent*, gpointer) {
    close_remote_access_window();
    return TRUE;
}

// While remote access is active the relay hands the module's event texts to the
// remote side instead of the event log.
void set_remote_access_active(bool value) {
    active = value;
    remote_access_relay().link.return_event_texts(value);
}

GtkWidget* spacer(int width, int height) {
    GtkWidget* box = gtk_hbox_new(FALSE, 0);
    gtk_widget_set_size_request(box, width, height);
    gtk_widget_show(box);
    return box;
}

}  // namespace

bool remote_access_active() { return active; }

RelayState& remote_access_relay() {
    static RelayState relay(local_link(), relay_serial_port(), relay_firmware_image());
    return relay;
}

GtkWidget* remote_access_window() { return remote.window; }
GtkWidget* remote_access_entry() { return remote.entry; }
GtkWidget* remote_access_toggle() { return remote.toggle; }
const char* remote_access_server_text() {
    return remote.server_label ? gtk_label_get_text(GTK_LABEL(remote.server_label)) : "";
}
const char* remote_access_status_text() {
    return remote.status_label ? gtk_label_get_text(GTK_LABEL(remote.status_label)) : "";
}

void open_remote_access_window() {
    if (remote.window) return;
    // The relay takes the device over: tool windows close, the link and the log start afresh.
    close_tool_windows();
    link_close();
    clear_log();
    close_log_file();

    remote.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(remote.window), message_text(MSG_REMOTE_ACCESS));
    gtk_window_set_resizable(GTK_WINDOW(remote.window), FALSE);
    g_signal_connect(remote.window, "delete-event", G_CALLBACK(on_close_request), nullptr);
    GtkWidget* content = gtk_vbox_new(FALSE, 0);
    gtk_widget_set_size_request(content, 400, 160);
    gtk_container_add(GTK_CONTAINER(remote.window), content);

    GtkWidget* row = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(content), row, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(row), new_label(message_text(MSG_PASSWORD)), FALSE, FALSE, 0);
    remote.entry = gtk_entry_new();
    gtk_entry_set_max_length(GTK_ENTRY(remote.entry), RELAY_PASSWORD_MAX);
    gtk_widget_set_size_request(remote.entry, 300, 30);
    gtk_box_pack_start(GTK_BOX(row), remote.entry, FALSE, FALSE, 0);

    row = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(content), row, FALSE, FALSE, 0);
    remote.toggle = gtk_toggle_button_new_with_label(message_text(MSG_CONNECT));
    gtk_widget_set_size_request(remote.toggle, 100, 100);
    g_signal_connect(remote.toggle, "clicked", G_CALLBACK(on_toggle_clicked), nullptr);
    gtk_box_pack_start(GTK_BOX(row), remote.toggle, FALSE, FALSE, 0);
    GtkWidget* column = gtk_vbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(row), column, FALSE, FALSE, 0);
    remote.server_label = new_label("");
    gtk_box_pack_start(GTK_BOX(column), remote.server_label, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(column), spacer(10, 10), FALSE, FALSE, 0);
    remote.status_label = new_label("");
    gtk_misc_set_alignment(GTK_MISC(remote.status_label), 0.0f, 0.5f);
    gtk_box_pack_start(GTK_BOX(column), remote.status_label, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(column), spacer(10, 50), FALSE, FALSE, 0);

    remote_access_relay().view = &window_view;
    set_remote_access_active(true);
    if (main_window.window) gtk_widget_hide(main_window.window);
    gtk_widget_show_all(remote.window);
}

void remote_connect() {
    std::string password = gtk_entry_get_text(GTK_ENTRY(remote.entry));
    switch (relay_login(remote_access_relay(), password)) {
    case LOGIN_NO_HOST:
        switch_toggle_off();
        show_message(message_text(MSG_CANNOT_RESOLVE_SERVER));
        break;
    case LOGIN_NO_CONNECTION:
        switch_toggle_off();
        show_message(message_text(MSG_CANNOT_CONNECT));
        break;
    case LOGIN_REFUSED: {
        switch_toggle_off();  // says "@!" and closes the socket
        // The relay answers a wrong code, an expired one and a login it holds back alike.
        const std::string text = std::string(message_text(MSG_LOGIN_FAILED)) +
                                 "\nThe relay refused the session code: it is unknown or has expired (or the relay "
                                 "takes no logins for a while after too many wrong codes). Ask the support person "
                                 "for a new one.";
        show_message(text.c_str());
        break;
    }
    case LOGIN_OK: {
        gtk_label_set_text(GTK_LABEL(remote.server_label), message_text(MSG_CONNECTED_TO_SERVER));
        gtk_button_set_label(GTK_BUTTON(remote.toggle), message_text(MSG_DISCONNECT));
        GdkColor red = {0, 0xFFFF, 0, 0};
        gtk_widget_modify_bg(remote.toggle, GTK_STATE_ACTIVE, &red);
        gtk_widget_modify_bg(remote.toggle, GTK_STATE_PRELIGHT, &red);
        break;
    }
    }
    remote_access_relay().escape = false;
}

void remote_disconnect() {
    RelayState& relay = remote_access_relay();
    const bool connected = relay.socket != nullptr;
    relay_disconnect(relay);
    // A flash cut short by the end of the session leaves the module without firmware.
    if (connected && relay.firmware_unfinished) {
        relay.firmware_unfinished = false;
        show_message(MODULE_LEFT_WITHOUT_FIRMWARE);
    }
    if (!remote.toggle) return;
    switch_toggle_off();
    gtk_button_set_label(GTK_BUTTON(remote.toggle), message_text(MSG_CONNECT));
    gtk_widget_modify_bg(remote.toggle, GTK_STATE_PRELIGHT, nullptr);
    gtk_label_set_text(GTK_LABEL(remote.status_label), "");
    gtk_label_set_text(GTK_LABEL(remote.server_label), "");
}

void close_remote_access_window() {
    if (!remote.window) return;
    remote_disconnect();
    GtkWidget* window = remote.window;
    remote_access_relay().view = nullptr;
    remote = RemoteWindow();
    gtk_widget_destroy(window);
    if (main_window.window) gtk_widget_show(main_window.window);
    set_remote_access_active(false);
    link_close();
}
