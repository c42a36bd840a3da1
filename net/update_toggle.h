// The Tools menu's update toggle item: its label and the caption it shows.
#pragma once

#include <gtk/gtk.h>

// The toggle item's label, so that the toggle can change its caption; nullptr until
// the menu bar is built.
extern GtkWidget* update_toggle_label;

// The toggle item's caption for the current settings: it names what choosing the
// item will do ("Do not check for updates at startup" while the check is on).
const char* update_toggle_caption();
