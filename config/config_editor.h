// The configuration editor built into the main window once a module is identified.
#pragma once

#include <gtk/gtk.h>

// Builds the editor into the main box (below the status rows).
void build_config_editor(GtkWidget* main_box);

// Destroys the editor's box, if it exists.
void destroy_config_editor();

bool config_editor_exists();
