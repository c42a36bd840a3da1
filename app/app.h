// The program itself: its start-up, main window and main loop, and the connection windows.
#pragma once

#include <gtk/gtk.h>

#include "connection/connection.h"
#include "ui/main_window_elements.h"

// Builds the fonts, the main window with its handlers and scrolled area, sizes it,
// adds the menu bar, shows `update_text` when given, and adds the status rows. The
// window is shown by run_main_loop.
void build_main_window(const char* update_text);

// One pass of the main loop (exposed for tests); run_main_loop repeats it for ever.
void main_loop_pass();
[[noreturn]] void run_main_loop();

// Runs the whole program: start-up in its fixed order, then the main loop.
[[noreturn]] void run_program(int argc, char** argv);

// The connection windows; both return when their window is gone.
void identify_device();
void show_incompatible_firmware(const char* text);
void show_not_programmed();

// The main window's key handlers, in the order they are connected.
gboolean on_view_key(GtkWidget* widget, GdkEventKey* event, gpointer data);
gboolean on_autoflash_key(GtkWidget* widget, GdkEventKey* event, gpointer data);
gboolean on_console_key(GtkWidget* widget, GdkEventKey* event, gpointer data);
