// The main window's menu bar. It only dispatches: every action belongs elsewhere.
#include "app/menu_bar.h"

#include "app/remote_console_window.h"
#include "app/themes.h"
#include "config/config_editor.h"
#include "config/config_file.h"
#include "device/module_link.h"
#include "firmware/firmware_select.h"
#include "firmware/flash.h"
#include "i18n/languages.h"
#include "i18n/message_ids.h"
#include "net/remote_access.h"
#include "net/update_check.h"
#include "net/update_toggle.h"
#include "settings/settings.h"
#include "ui/widgets.h"

namespace {

GtkWidget* menu_bar = nullptr;

// Chosen while an exchange waits (a screen reader's choice gets past the input grab),
// a flash would run inside that exchange: it is ignored, as a mouse click is then.
void on_change_firmware(GtkMenuItem*, gpointer) {
    if (!module_link_busy()) select_firmware(SELECT_BY_DIALOG, editor_can_level());
}
void on_firmware_from_file(GtkMenuItem*, gpointer) {
    if (!module_link_busy()) flash_firmware(FLASH_CHOOSER_OPEN);
}
void on_load_config_file(GtkMenuItem*, gpointer) { load_config_file(); }
void on_save_config_file(GtkMenuItem*, gpointer) { save_config_file(); }
void on_update_toggle(GtkMenuItem*, gpointer) { toggle_update_check(); }
void on_remote_access(GtkMenuItem*, gpointer) { open_remote_access_window(); }
void on_remote_console(GtkMenuItem*, gpointer) { open_remote_console_dialog(); }

void on_language(GtkMenuItem*, gpointer data) {
    const LanguageRecord* record = static_cast<const LanguageRecord*>(data);
    record->action(record->code);
}

GtkWidget* append_item(GtkWidget* menu, const char* caption, GCallback handler,
                       gpointer data = nullptr) {
    GtkWidget* item = new_menu_item(caption);
    g_signal_connect(item, "activate", handler, data);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    return item;
}

GtkWidget* top_item(const char* caption, GtkWidget* submenu) {
    GtkWidget* item = new_menu_item(caption);
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(item), submenu);
    return item;
}

GtkWidget* build_tools_menu() {
    GtkWidget* menu = gtk_menu_new();
    append_item(menu, message_text(MSG_CHANGE_FIRMWARE), G_CALLBACK(on_change_firmware));
    append_item(menu, message_text(MSG_FIRMWARE_FROM_FILE), G_CALLBACK(on_firmware_from_file));
    append_item(menu, message_text(MSG_LOAD_CONFIG_FILE), G_CALLBACK(on_load_config_file));
    append_item(menu, message_text(MSG_SAVE_CONFIG_FILE), G_CALLBACK(on_save_config_file));
    GtkWidget* toggle = append_item(menu, update_toggle_caption(), G_CALLBACK(on_update_toggle));
    update_toggle_label = gtk_bin_get_child(GTK_BIN(toggle));
    g_signal_connect(update_toggle_label, "destroy", G_CALLBACK(gtk_widget_destroyed), &update_toggle_label);
    // Remote access opens the local module to a support person: a console has none.
    if (!module_link_is_remote())
        append_item(menu, message_text(MSG_ENABLE_REMOTE_ACCESS), G_CALLBACK(on_remote_access));
    append_item(menu, "Remote console...", G_CALLBACK(on_remote_console));
    return top_item(message_text(MSG_TOOLS), menu);
}

GtkWidget* build_language_menu() {
    GtkWidget* menu = gtk_menu_new();
    for (int i = 0; i < LANGUAGE_COUNT && languages[i].code; ++i) {
        append_item(menu, languages[i].display_name, G_CALLBACK(on_language),
                    const_cast<LanguageRecord*>(&languages[i]));
    }
    return top_item(message_text(MSG_LANGUAGE), menu);
}

}  // namespace

void build_menu_bar(GtkWidget* main_box) {
    menu_bar = gtk_menu_bar_new();
    gtk_widget_show(menu_bar);
    gtk_box_pack_start(GTK_BOX(main_box), menu_bar, FALSE, FALSE, 0);
    // First child, above whatever the box already holds, so it scrolls with the content.
    gtk_box_reorder_child(GTK_BOX(main_box), menu_bar, 0);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu_bar), build_tools_menu());
    gtk_menu_shell_append(GTK_MENU_SHELL(menu_bar), build_language_menu());
    if (GtkWidget* themes = build_theme_menu()) {
        gtk_menu_shell_append(GTK_MENU_SHELL(menu_bar), themes);
    }
}

GtkWidget* main_menu_bar() { return menu_bar; }
