// The main window's menu bar: Tools, Language and Themes.
#pragma once

#include <gtk/gtk.h>

// The label of the Tools menu's update toggle item, so that the toggle can change
// its caption; nullptr until the menu bar is built.
extern GtkWidget* update_toggle_label;

// The toggle item's caption for the current settings: it names what choosing the
// item will do ("Do not check for updates at startup" while the check is on).
const char* update_toggle_caption();

// Builds the menu bar (Tools, Language, then Themes when the theme folder exists)
// and packs it as the first child of the main box. Called once at start-up.
void build_menu_bar(GtkWidget* main_box);

// The menu bar build_menu_bar made, or nullptr.
GtkWidget* main_menu_bar();
