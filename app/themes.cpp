// The Themes menu and the theme resource file at start-up.
#include "app/themes.h"

#include <memory>

#include "app/theme_file.h"
#include "i18n/languages.h"
#include "i18n/message_ids.h"
#include "i18n/messages.h"
#include "platform/profile.h"
#include "ui/widgets.h"

namespace {
}

GtkWidget* build_theme_menu_from(const char* folder) {
    // 50 KB of names, needed only while the menu is built.
    auto list = std::make_unique<ThemeList>();
    if (!list_theme_names(folder, *list)) return nullptr;
    GtkWidget* submenu = gtk_menu_new();
    for (int i = 0; i < list->count; ++i) {
        GtkWidget* item = new_menu_item(list->names[i]);
        g_signal_connect(item, "activate", G_CALLBACK(apply_theme), nullptr);
        gtk_menu_shell_append(GTK_MENU_SHELL(submenu), item);
    }
    GtkWidget* top = new_menu_item(message_text(MSG_THEMES));
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(top), submenu);
    return top;
}

GtkWidget* build_theme_menu() {
    char folder[PROGRAM_PATH_SIZE];
    if (!theme_folder_for_program(program_path(), folder, sizeof folder)) return nullptr;
    return build_theme_menu_from(folder);
}

void apply_theme(GtkMenuItem* item, gpointer) {
    GtkWidget* label = gtk_bin_get_child(GTK_BIN(item));
    if (label && GTK_IS_LABEL(label)) write_theme_file(gtk_label_get_text(GTK_LABEL(label)));
    restart_program(nullptr);
}

void add_theme_resource_file() {
    char path[4096];
    if (platform::profile_file_path(THEME_FILE_NAME, path, sizeof path)) {
        gtk_rc_add_default_file(path);
    }
}
