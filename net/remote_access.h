// Remote access through the relay server. While it is active the relay owns the
// module, the main window is hidden, and event texts go to the remote side instead
// of the event log.
#pragma once

#include <gtk/gtk.h>

#include "net/relay.h"

bool remote_access_active();

// Opens the remote-access window (Tools menu, and the not-programmed window); the main
// window hides until it is closed.
void open_remote_access_window();

// The toggle's two handlers: log in with the password, and leave the server.
void remote_connect();
void remote_disconnect();

// The window's close request: leave the server, destroy the window, show the main
// window again and let the device search resume.
void close_remote_access_window();

// The program's relay: the local link, the module serial port and the firmware image.
// The main loop runs its relay_step while remote access is active.
RelayState& remote_access_relay();

// The window's parts, for tests (nullptr / "" while it does not exist).
GtkWidget* remote_access_window();
GtkWidget* remote_access_entry();
GtkWidget* remote_access_toggle();
const char* remote_access_server_text();
const char* remote_access_status_text();
