// Watching a folder for new firmware files: the folder chooser and the main loop's look.
#include "firmware/autoflash.h"

#include <gtk/gtk.h>

#include "firmware/autoflash_watch.h"
#include "firmware/firmware_folder.h"
#include "firmware/flash.h"
#include "i18n/messages.h"
#include "ui/main_window_elements.h"

namespace {

constexpr int MSG_OPEN = 19;
constexpr int MSG_CANCEL = 22;

AutoflashState watch;

int flash_given(const char* path) { return flash_firmware(FLASH_GIVEN_FILE, path); }

}  // namespace

void choose_autoflash_folder() {
    // The title is the same in every language.
    GtkWidget* dialog = gtk_file_chooser_dialog_new("Wybierz katalog", nullptr, GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER,
                                                    message_text(MSG_CANCEL), GTK_RESPONSE_CANCEL,
                                                    message_text(MSG_OPEN), GTK_RESPONSE_ACCEPT, nullptr);
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
        gchar* folder = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog));
        if (folder) start_autoflash_watch(folder);
        g_free(folder);
    }
    gtk_widget_destroy(dialog);
}

void start_autoflash_watch(const char* folder) {
    watch.folder = folder;
    remember_firmware_folder(folder);
    if (main_window.indicator_label) gtk_label_set_text(GTK_LABEL(main_window.indicator_label), "AUTOFLASH");
}

void forget_autoflash_watch() { watch = AutoflashState(); }

bool autoflash_folder_set() { return !watch.folder.empty(); }

void autoflash_watch() {
    if (watch.folder.empty()) return;
    std::vector<platform::FileStamp> files;
    platform::list_files_with_suffix(watch.folder.c_str(), ".bin", &files);
    autoflash_look(watch, files, platform::file_time_now(), flash_given);
}
