// The tool's file choosers: each opens in the folder the settings remember for its
// kind, shows one filter named by what it shows, and remembers where the chosen file
// lies so that the next chooser of the same kind opens there.
#pragma once

#include <gtk/gtk.h>

constexpr int CHOOSER_FOLDER_CAPACITY = 4096;

// Makes `folder` the one `*setting` (a folder field of the settings) remembers and
// saves the settings; the text is kept here for the rest of the run. A folder too long
// to keep, or more folder fields than there are places for, leave the old one.
void remember_folder(const char** setting, const char* folder);

struct FileChooserText {
    const char* title;
    GtkFileChooserAction action;
    const char* accept;          // the accept button's caption
    const char* filter_name;     // what the filter shows, e.g. "Firmware files (*.bin)"
    const char* filter_pattern;  // e.g. "*.bin"
};

// Runs a file chooser with "Cancel" and the accept button, opened in the folder
// `*setting` remembers when there is one. On accept remembers the folder of the
// chosen file (not the folder on display, which a typed full path does not change)
// and returns the file (g_free it); nullptr when cancelled or closed.
gchar* run_file_chooser(const FileChooserText& text, const char** setting);
