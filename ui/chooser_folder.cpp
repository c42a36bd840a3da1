// Running the tool's file choosers and remembering their folders in the settings.
#include "ui/chooser_folder.h"

#include <cstring>

#include "i18n/message_ids.h"
#include "i18n/messages.h"
#include "settings/settings.h"

namespace {

// One place per folder field of the settings (firmware, log, configuration).
struct RememberedFolder {
    const char** setting = nullptr;
    char text[CHOOSER_FOLDER_CAPACITY] = {};
};
RememberedFolder remembered[3];

RememberedFolder* place_for(const char** setting) {
    for (RememberedFolder& place : remembered)
        if (place.setting == setting) return &place;
    for (RememberedFolder& place : remembered)
        if (!place.setting) return &place;
    return nullptr;
}

}  // namespace

void remember_folder(const char** setting, const char* folder) {
    RememberedFolder* place = place_for(setting);
    if (!place || !folder || std::strlen(folder) >= sizeof place->text) return;
    place->setting = setting;
    std::strcpy(place->text, folder);
    *setting = place->text;
    save_settings();
}

gchar* run_file_chooser(const FileChooserText& text, const char** setting) {
    GtkWidget* dialog = gtk_file_chooser_dialog_new(text.title, nullptr, text.action, message_text(MSG_CANCEL),
                                                    GTK_RESPONSE_CANCEL, text.accept, GTK_RESPONSE_ACCEPT, nullptr);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    if (text.filter_pattern) {
        GtkFileFilter* filter = gtk_file_filter_new();
        gtk_file_filter_set_name(filter, text.filter_name);
        gtk_file_filter_add_pattern(filter, text.filter_pattern);
        gtk_file_chooser_add_filter(chooser, filter);
    }
    if (*setting && **setting) gtk_file_chooser_set_current_folder(chooser, *setting);
    gchar* file = nullptr;
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
        file = gtk_file_chooser_get_filename(chooser);
        if (file) {
            gchar* folder = g_path_get_dirname(file);
            remember_folder(setting, folder);
            g_free(folder);
        }
    }
    gtk_widget_destroy(dialog);
    return file;
}
