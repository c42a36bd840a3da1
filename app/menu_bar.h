// The main window's menu bar: Tools, Language and Themes.
#pragma once

#include <gtk/gtk.h>

// Builds the menu bar (Tools, Language, then Themes when the theme folder exists)
// and packs it as the first child of the main box. Called once at start-up.
void build_menu_bar(GtkWidget* main_box);

// The menu bar build_menu_bar made, or nullptr.
GtkWidget* main_menu_bar();
