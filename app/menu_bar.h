// The main window's menu bar: Tools, Language and Themes.
#pragma once

#include <gtk/gtk.h>

// Builds the menu bar as the first child of the main box.
void build_menu_bar(GtkWidget* main_box);
