// The main window and its elements, created once at start-up.
#pragma once

#include <gtk/gtk.h>

#include "app/connection.h"

struct MainWindow {
    GtkWidget* window = nullptr;
    GtkWidget* scrolled = nullptr;
    GtkWidget* main_box = nullptr;       // menu bar, status rows, then the editor
    GtkWidget* status_label = nullptr;   // "Arial 18", centred
    GtkWidget* status_right = nullptr;   // the status row's right-hand label
    GtkWidget* info_label = nullptr;     // "Arial 12"
    GtkWidget* indicator_label = nullptr;  // red "Arial 18"; "AUTOFLASH"
};

extern MainWindow main_window;

// Fonts made once and shared: "Arial 18", "Arial 12" and "Arial 14" (the editor's).
struct MainFonts {
    PangoFontDescription* large = nullptr;
    PangoFontDescription* info = nullptr;
    PangoFontDescription* editor = nullptr;
};

extern MainFonts main_fonts;

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
