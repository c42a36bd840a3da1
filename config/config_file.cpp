// Saving and loading configuration files: file choosers, remembered folder, key table runs.
#include "config/config_file.h"

#include <gtk/gtk.h>

#include <cstring>
#include <string>

#include "config/config_editor.h"
#include "config/config_file_format.h"
#include "config/config_file_keys.h"
#include "config/vehicle_selector.h"
#include "connection/connection.h"
#include "files/file_io.h"
#include "i18n/message_ids.h"
#include "i18n/messages.h"
#include "settings/settings.h"
#include "ui/chooser_folder.h"
#include "ui/dialogs.h"

namespace {

// Runs the chooser; the chosen file (g_free it), or nullptr when cancelled or closed.
gchar* choose_config_file(bool saving) {
    const FileChooserText text = {message_text(saving ? MSG_SAVE_TO_DISK : MSG_LOAD_FROM_FILE),
                                  saving ? GTK_FILE_CHOOSER_ACTION_SAVE : GTK_FILE_CHOOSER_ACTION_OPEN,
                                  message_text(saving ? MSG_SAVE_FILE : MSG_OPEN), "Configuration files (*.cfg)",
                                  "*.cfg"};
    return run_file_chooser(text, &settings.config_folder);
}

// Both operations work on the editor: without a module there is nothing to save and
// nowhere to load to, so say why instead of asking for a file.
bool editor_needed() {
    if (config_editor_exists()) return true;
    show_message(message_text(MSG_NO_USB_DEVICE));
    return false;
}

void show_file_message(int id, const char* path) {
    gchar* text = g_strdup_printf(message_text(id), path);
    show_message(text);
    g_free(text);
}

}  // namespace

bool save_config_to_path(const char* path) {
    if (!editor_needed()) return false;
    ConfigKey keys[CONFIG_KEY_CAPACITY];
    const int count = config_keys(advanced_view != 0, keys);
    int values[CONFIG_KEY_CAPACITY];
    for (int i = 0; i < count; ++i) values[i] = editor_key_value(keys[i]);
    static char text[CONFIG_FILE_MAX + 1];
    const int length = format_config_text(keys, values, count, text, sizeof text);
    if (length < 0) {
        show_file_message(MSG_ERROR_WRITING_FILE, path);
        return false;
    }
    if (!write_whole_file(text, path, length)) return false;
    // Only a file that now holds these values makes them the references: after a
    // failed write the red marks still show what differs from the module.
    for (int i = 0; i < count; ++i) take_key_reference(keys[i], values[i]);
    show_message(message_text(MSG_SAVED));
    return true;
}

bool load_config_from_path(const char* path) {
    if (!editor_needed()) return false;
    static char bytes[CONFIG_FILE_MAX];
    const int count = read_whole_file(bytes, path, CONFIG_FILE_MAX);
    if (count <= 0) return false;
    ConfigKey keys[CONFIG_KEY_CAPACITY];
    const int key_count = config_keys(advanced_view != 0, keys);
    bool has_number = false, has_level = false;
    int number = 0, level = 0;
    ConfigLineReader reader(bytes, count);
    ConfigLine line;
    while (reader.next(&line)) {
        for (int i = 0; i < key_count; ++i) {
            if (!config_key_matches(keys[i], line.key, line.key_length)) continue;
            load_key_value(keys[i], line.value);
            if (keys[i].kind == KEY_CARNUMBER) {
                has_number = true;
                number = config_integer_value(line.value);
            } else if (keys[i].kind == KEY_CANLEVEL) {
                has_level = true;
                level = config_integer_value(line.value);
            }
        }
    }
    // As after a read from the module: the vehicle found for the level and number.
    if (has_number && has_level) select_vehicle(level, number, true);
    show_message(message_text(MSG_LOADED));
    return true;
}

void save_config_file() {
    if (!editor_needed()) return;
    gchar* chosen = choose_config_file(true);
    if (!chosen) return;
    const std::string path = config_file_name(chosen);
    g_free(chosen);
    save_config_to_path(path.c_str());
}

void load_config_file() {
    if (!editor_needed()) return;
    gchar* chosen = choose_config_file(false);
    if (!chosen) return;
    load_config_from_path(chosen);
    g_free(chosen);
}
