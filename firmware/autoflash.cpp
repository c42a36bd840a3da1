// Watching a folder for new firmware files: the folder chooser and the main loop's look.
#include "firmware/autoflash.h"

#include <gtk/gtk.h>

#include "firmware/autoflash_watch.h"
#include "firmware/flash.h"
#include "i18n/message_ids.h"
#include "i18n/messages.h"
#include "platform/folder_changes.h"
#include "settings/settings.h"
#include "ui/chooser_folder.h"
#include "ui/main_window_elements.h"

namespace {

AutoflashState watch;
platform::FolderChanges folder_changes;

AutoflashTry flash_given(const char* path, bool report_not_opened) {
    switch (flash_given_file(path, report_not_opened ? FLASH_TELL_ALL : FLASH_QUIET_NOT_OPENED)) {
    case FlashOutcome::NOT_OPENED:
        return AutoflashTry::NOT_OPENED;
    case FlashOutcome::BAD_FILE:
        return AutoflashTry::BAD_FILE;
    case FlashOutcome::PROGRAMMED:
    case FlashOutcome::FAILED:
        break;
    }
    return AutoflashTry::DONE;
}

void look_at_folder(uint64_t now) {
    std::vector<platform::FileStamp> files;
    platform::list_files_with_suffix(watch.folder.c_str(), ".bin", &files);
    autoflash_look(watch, files, now, flash_given);
}

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
    // Every choice starts afresh: what the folder holds now is only recorded, so a
    // file is flashed only when it arrives or is written after the choice.
    watch = AutoflashState();
    watch.folder = folder;
    folder_changes.watch(folder);
    look_at_folder(platform::file_time_now());
    remember_folder(&settings.firmware_folder, folder);
    if (main_window.indicator_label) gtk_label_set_text(GTK_LABEL(main_window.indicator_label), "AUTOFLASH");
}

void forget_autoflash_watch() {
    watch = AutoflashState();
    folder_changes.stop();
}

bool autoflash_folder_set() { return !watch.folder.empty(); }

void autoflash_watch() {
    if (watch.folder.empty()) return;
    // Listing a folder of thousands of files on every pass would keep a core busy:
    // list only when the kernel says something changed or a file is due to settle.
    const uint64_t now = platform::file_time_now();
    if (autoflash_due(watch, folder_changes.changed(), now)) look_at_folder(now);
}
