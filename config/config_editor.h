// The configuration editor built into the main window once a module is identified:
// vehicle selector, column titles, the 13 pin rows and the four buttons.
#pragma once

#include <gtk/gtk.h>

// Builds the editor into the main box (below the status rows), in the view that
// advanced_view selects; an editor that exists already is destroyed first.
void build_config_editor(GtkWidget* main_box);

// Destroys the editor's box, if it exists.
void destroy_config_editor();

bool config_editor_exists();

// The CAN level the editor shows, which the firmware's variant must follow; 1 without
// an editor.
int editor_can_level();

// The editor's root box, or nullptr.
GtkWidget* config_editor_box();

// Takes the editor's input away while its configuration travels, and gives it back
// (nothing without an editor). Over a relay the window handles its events meanwhile: it
// shows the editor busy, and a choice changed then would be overwritten by the read.
void set_config_editor_busy(bool busy);
