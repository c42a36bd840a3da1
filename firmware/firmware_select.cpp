// Firmware selection by version and variant, with the version dialog.
#include "firmware/firmware_select.h"

#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "connection/connection.h"
#include "firmware/firmware_files.h"
#include "firmware/flash.h"
#include "i18n/languages.h"
#include "i18n/message_ids.h"
#include "i18n/messages.h"
#include "platform/clock.h"
#include "ui/dialogs.h"
#include "ui/widgets.h"

namespace {

constexpr int DIALOG_WAIT_MS = 50;
constexpr int PATH_SIZE = 4096;

std::string folder_override;
bool folder_overridden = false;

bool firmware_folder(char* out, size_t size) {
    if (!folder_overridden) return firmware_folder_for_program(program_path(), out, size);
    if (folder_override.size() >= size) return false;
    folder_override.copy(out, folder_override.size());
    out[folder_override.size()] = '\0';
    return true;
}

enum class DialogAnswer { WAITING, PROGRAM, CANCEL };

void on_program(GtkWidget*, gpointer answer) { *static_cast<DialogAnswer*>(answer) = DialogAnswer::PROGRAM; }
void on_cancel(GtkWidget*, gpointer answer) { *static_cast<DialogAnswer*>(answer) = DialogAnswer::CANCEL; }
gboolean on_close(GtkWidget*, GdkEvent*, gpointer answer) {
    *static_cast<DialogAnswer*>(answer) = DialogAnswer::CANCEL;
    return TRUE;
}

GtkWidget* add_dialog_button(GtkWidget* row, int message, GCallback clicked, DialogAnswer* answer) {
    GtkWidget* button = new_wide_button(message_text(message));
    g_signal_connect(button, "clicked", clicked, answer);
    gtk_box_pack_start(GTK_BOX(row), button, TRUE, FALSE, 4);
    return button;
}

// The version dialog: one entry per available version, the highest preselected.
// The chosen version, or -1 when cancelled.
int ask_version(const std::vector<int>& versions) {
    DialogAnswer answer = DialogAnswer::WAITING;
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), message_text(MSG_CHANGE_FIRMWARE));
    gtk_window_set_modal(GTK_WINDOW(window), TRUE);
    gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
    gtk_container_set_border_width(GTK_CONTAINER(window), 4);
    g_signal_connect(window, "delete-event", G_CALLBACK(on_close), &answer);

    GtkWidget* box = gtk_vbox_new(FALSE, 4);
    gtk_container_add(GTK_CONTAINER(window), box);
    GtkWidget* list = gtk_combo_box_new_text();
    for (int version : versions) {
        gchar* text = g_strdup_printf(message_text(MSG_VERSION_ENTRY), FIRMWARE_NAME_PREFIX, version);
        gtk_combo_box_append_text(GTK_COMBO_BOX(list), text);
        g_free(text);
    }
    gtk_combo_box_set_active(GTK_COMBO_BOX(list), int(versions.size()) - 1);
    gtk_box_pack_start(GTK_BOX(box), list, FALSE, FALSE, 4);
    GtkWidget* row = gtk_hbox_new(FALSE, 4);
    gtk_box_pack_start(GTK_BOX(box), row, FALSE, FALSE, 4);
    add_dialog_button(row, MSG_PROGRAM, G_CALLBACK(on_program), &answer);
    add_dialog_button(row, MSG_CANCEL, G_CALLBACK(on_cancel), &answer);
    add_bottom_spacer(box);
    gtk_widget_show_all(window);

    while (answer == DialogAnswer::WAITING) {
        if (gtk_events_pending()) {
            gtk_main_iteration();
        } else {
            platform::sleep_ms(DIALOG_WAIT_MS);
        }
    }
    const int position = gtk_combo_box_get_active(GTK_COMBO_BOX(list));
    gtk_widget_destroy(window);
    if (answer != DialogAnswer::PROGRAM || position < 0 || position >= int(versions.size())) return -1;
    return versions[size_t(position)];
}

}  // namespace

void use_firmware_folder(const char* folder) {
    folder_overridden = folder != nullptr;
    folder_override = folder ? folder : "";
}

void select_firmware(FirmwareSelectMode mode, int can_level) { select_and_flash(mode, FLASH_TELL_ALL, can_level); }

bool select_and_flash(FirmwareSelectMode mode, int quiet, int can_level) {
    if (connection_state != CONNECTED) return false;
    const bool variant_flag = device_identity.variant_flag != 0;
    char folder[PATH_SIZE];
    char path[PATH_SIZE + 64];
    FirmwareFile file = FirmwareFile::NO_FOLDER;
    if (!firmware_folder(folder, sizeof folder)) {
        file = FirmwareFile::NO_FOLDER;
    } else if (mode == SELECT_SAME_VERSION) {
        file = same_version_file(folder, device_identity.firmware_version, can_level, variant_flag, path, sizeof path);
    } else {
        VersionSets sets;
        if (!scan_firmware_folder(folder, sets)) return false;
        const int version = ask_version(available_versions(sets));
        if (version < 0) return false;
        file = version_file(folder, sets, version, can_level, variant_flag, path, sizeof path);
    }
    switch (file) {
    case FirmwareFile::FOUND:
        break;
    case FirmwareFile::NO_FOLDER:
        // The configuration write waits for the variant change: when the firmware
        // cannot follow, the user must hear why the level was not written.
        if (mode == SELECT_SAME_VERSION) show_message(message_text(MSG_NO_VARIANT_FIRMWARE));
        return false;
    case FirmwareFile::NO_FIRMWARE:
        show_message(message_text(MSG_NO_VARIANT_FIRMWARE));
        return false;
    case FirmwareFile::TOO_LONG:
        return false;
    }
    // A missing file has been reported by the reader and a failed flash by the
    // update; a file that fails the check would otherwise pass in silence.
    const FlashOutcome outcome = flash_given_file(path, quiet);
    if (outcome == FlashOutcome::BAD_FILE) show_message(message_text(MSG_FILE_CORRUPTED));
    return outcome == FlashOutcome::PROGRAMMED;
}
