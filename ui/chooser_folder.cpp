// Remembering a file chooser's folder in the settings.
#include "ui/chooser_folder.h"

#include <cstring>

#include "settings/settings.h"

void remember_chooser_folder(GtkFileChooser* chooser, char (&store)[CHOOSER_FOLDER_CAPACITY],
                             const char** setting) {
    gchar* folder = gtk_file_chooser_get_current_folder(chooser);
    if (folder && std::strlen(folder) < sizeof store) {
        std::strcpy(store, folder);
        *setting = store;
        save_settings();
    }
    g_free(folder);
}
