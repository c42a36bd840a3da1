// The Themes menu, and the theme resource file handed to the toolkit at start-up.
#pragma once

#include <gtk/gtk.h>

// The "Themes" item with one submenu item per name in the theme folder beside the
// program's folder, in byte-wise order; nullptr when that folder cannot be opened
// (no message: the menu bar then has no Themes menu).
GtkWidget* build_theme_menu();

// The same for a given folder (build_theme_menu's folder, or a test's).
GtkWidget* build_theme_menu_from(const char* folder);

// "activate" handler of the theme items: writes the theme resource file for the
// item's caption and restarts the program without a language (a failed write is
// silent; the restart happens all the same). Does not return.
void apply_theme(GtkMenuItem* item, gpointer data);

// Adds the profile folder's theme resource file to the toolkit's resource files, so
// the theme chosen before a restart applies. Call before gtk_init.
void add_theme_resource_file();
