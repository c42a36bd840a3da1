// Remembering the folder a file chooser was in when the user accepted it, so that the
// next chooser of the same kind opens there.
#pragma once

#include <gtk/gtk.h>

constexpr int CHOOSER_FOLDER_CAPACITY = 4096;

// Copies the chooser's current folder into `store`, points `*setting` (a folder field
// of the settings) at it and saves the settings. A folder too long for `store` is not
// remembered: the old one stays.
void remember_chooser_folder(GtkFileChooser* chooser, char (&store)[CHOOSER_FOLDER_CAPACITY],
                             const char** setting);
