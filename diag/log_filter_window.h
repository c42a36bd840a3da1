// The log filter's settings window and the console's "Filter" toggle.
#pragma once

#include <gtk/gtk.h>

#include "settings/settings.h"

// The "Filter" toggle's handler: pressed opens the filter settings window; released
// switches the filter off and shows the whole log again.
void filter_toggled(GtkToggleButton* toggle, gpointer data);

// The settings window's buttons. OK switches the filter on with the ticked rows and
// saves the tag texts; Cancel (also closing the window) leaves the filter off.
void filter_ok();
void filter_cancel();

// The settings window's widgets while it is open (tests).
struct FilterWindow {
    GtkWidget* window = nullptr;
    GtkWidget* untagged = nullptr;
    GtkWidget* ticks[FILTER_TAG_COUNT] = {};
    GtkWidget* entries[FILTER_TAG_COUNT] = {};
};

extern FilterWindow filter_window;

// Destroys the settings window without changing the filter (the console is closing).
void close_filter_window();
