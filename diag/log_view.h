// The event log's view in the console window, and the console's log-file button.
#pragma once

#include <gtk/gtk.h>

// Makes the view (a text view in a scrolled window) loaded with the whole log text,
// unfiltered, and scrolled to its end; appended messages then follow it, filtered,
// and scroll it to the end while `autoscroll` is active. Returns the scrolled window.
GtkWidget* load_view(GtkWidget* autoscroll);

// The console window is going: the log goes on without a view.
void close_view();

// Rebuilds the view from the whole log text, keeping the lines the filter accepts.
void refilter_view();

// The view's text now (tests).
GtkTextBuffer* log_view_buffer();

// The button that starts and stops the log file: "Stop logging" in red while a file
// is open, "Log to file" otherwise.
GtkWidget* new_log_file_button();

// The log-file button's handler: closes the open log file, or asks for one with a
// chooser and opens it for appending.
void toggle_log_file();
