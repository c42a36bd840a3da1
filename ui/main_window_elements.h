// The main window's elements, which several windows and steps write into; the
// application builds them once at start-up.
#pragma once

#include <gtk/gtk.h>

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
