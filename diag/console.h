// The console window: raw commands to the module and the event log view.
#pragma once

#include <gtk/gtk.h>

// Opens the console, or brings it to the front when it is open (Ctrl+S).
void open_console();

// Destroys the console window if it is open; the log and the history stay.
// Registered as a tool window closer.
void close_console();

bool console_open();

// The "Send" action: the button, or Enter in either entry.
void console_send();

// Key presses in either entry: Enter sends, Up and Down browse the history. TRUE for
// these keys only.
gboolean console_key(GtkWidget* entry, GdkEventKey* event, gpointer data);

// The console's widgets, for the filter and for tests; nullptr while it is closed.
struct ConsoleWindow {
    GtkWidget* window = nullptr;
    GtkWidget* command_entry = nullptr;
    GtkWidget* data_entry = nullptr;
    GtkWidget* send_button = nullptr;
    GtkWidget* autoscroll = nullptr;
    GtkWidget* response = nullptr;
    GtkWidget* filter = nullptr;
    GtkWidget* log_file_button = nullptr;
};

extern ConsoleWindow console_window;
