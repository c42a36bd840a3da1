// The menu bar: Tools items and the update toggle, the Language menu, the Themes
// menu from a theme folder, and the theme resource file reaching the toolkit.
#include "app/menu_bar.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/theme_file.h"
#include "app/themes.h"
#include "config/config_file.h"
#include "gui/gui_test_support.h"
#include "i18n/languages.h"
#include "net/update_check.h"
#include "net/update_toggle.h"
#include "settings/settings.h"
#include "ui/dialogs.h"
#include "unit/http_servers.h"
#include "unit/temp_folder.h"

namespace {

std::string caption(GtkWidget* item) {
    GtkWidget* label = gtk_bin_get_child(GTK_BIN(item));
    return label && GTK_IS_LABEL(label) ? gtk_label_get_text(GTK_LABEL(label)) : "";
}

std::vector<GtkWidget*> items_of(GtkWidget* shell) {
    std::vector<GtkWidget*> items;
    GList* children = gtk_container_get_children(GTK_CONTAINER(shell));
    for (GList* c = children; c; c = c->next) items.push_back(GTK_WIDGET(c->data));
    g_list_free(children);
    return items;
}

std::vector<std::string> captions(GtkWidget* shell) {
    std::vector<std::string> texts;
    for (GtkWidget* item : items_of(shell)) texts.push_back(caption(item));
    return texts;
}

GtkWidget* submenu_of(GtkWidget* item) { return gtk_menu_item_get_submenu(GTK_MENU_ITEM(item)); }

// A window with a main box holding one row, as the main window has when the menu bar
// is added.
class MenuBar : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_GUI();
        window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        main_box = gtk_vbox_new(FALSE, 0);
        gtk_container_add(GTK_CONTAINER(window), main_box);
        first_row = gtk_label_new("status");
        gtk_box_pack_start(GTK_BOX(main_box), first_row, FALSE, FALSE, 0);
        settings.check_updates_at_startup = 1;
    }
    void TearDown() override {
        if (window) gtk_widget_destroy(window);
        update_toggle_label = nullptr;
        close_message_window();
        settings.check_updates_at_startup = 1;
    }
    GtkWidget* build() {
        build_menu_bar(main_box);
        return main_menu_bar();
    }

    GtkWidget* window = nullptr;
    GtkWidget* main_box = nullptr;
    GtkWidget* first_row = nullptr;
};

}  // namespace

TEST_F(MenuBar, IsTheMainBoxFirstChildWithToolsAndLanguage) {
    GtkWidget* bar = build();
    ASSERT_NE(bar, nullptr);
    const auto children = items_of(main_box);
    ASSERT_EQ(children.size(), 2u);
    EXPECT_EQ(children[0], bar);
    EXPECT_EQ(children[1], first_row);
    gboolean expand = TRUE, fill = TRUE;
    guint padding = 9;
    gtk_box_query_child_packing(GTK_BOX(main_box), bar, &expand, &fill, &padding, nullptr);
    EXPECT_FALSE(expand);
    EXPECT_FALSE(fill);
    EXPECT_EQ(padding, 0u);
    EXPECT_TRUE(gtk_widget_get_visible(bar));
    // The tests record no program path, so there is no theme folder to find.
    EXPECT_EQ(captions(bar), (std::vector<std::string>{"Tools", "Language"}));
}

TEST_F(MenuBar, ToolsItemsInOrderWithoutSeparators) {
    GtkWidget* tools = items_of(build())[0];
    EXPECT_EQ(captions(submenu_of(tools)),
              (std::vector<std::string>{"Change firmware", "Firmware update from file",
                                        "Load configuration from file", "Save configuration to file",
                                        "Do not check for updates at startup", "Enable remote access",
                                        "Remote console..."}));
    for (GtkWidget* item : items_of(submenu_of(tools))) {
        GtkWidget* label = gtk_bin_get_child(GTK_BIN(item));
        gfloat x = 1, y = 1;
        gtk_misc_get_alignment(GTK_MISC(label), &x, &y);
        EXPECT_EQ(x, 0.0f) << caption(item);
    }
}

TEST_F(MenuBar, UpdateToggleCaptionNamesTheNextAction) {
    TempFolder profile;
    setenv("USERPROFILE", profile.path().c_str(), 1);
    GtkWidget* toggle = items_of(submenu_of(items_of(build())[0]))[4];
    EXPECT_EQ(update_toggle_label, gtk_bin_get_child(GTK_BIN(toggle)));
    EXPECT_EQ(caption(toggle), "Do not check for updates at startup");

    gtk_menu_item_activate(GTK_MENU_ITEM(toggle));
    EXPECT_EQ(settings.check_updates_at_startup, 0);
    EXPECT_EQ(caption(toggle), "Check for updates at startup");
    const std::string saved = profile.get(SETTINGS_FILE_NAME);
    ASSERT_FALSE(saved.empty());
    EXPECT_EQ(saved[0], '\0');  // the flag is the file's first byte

    // Switching the check on checks at once: here against a port where nobody listens.
    setenv("QV450_UPDATE_SERVER", ("127.0.0.1:" + std::to_string(free_loopback_port())).c_str(), 1);
    gtk_menu_item_activate(GTK_MENU_ITEM(toggle));
    EXPECT_EQ(settings.check_updates_at_startup, 1);
    EXPECT_EQ(caption(toggle), "Do not check for updates at startup");
    EXPECT_EQ(profile.get(SETTINGS_FILE_NAME)[0], '\x01');
    ASSERT_NE(message_window, nullptr);
    const std::vector<std::string> texts = label_texts(message_window);
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Cannot connect to server"), texts.end());
    unsetenv("QV450_UPDATE_SERVER");
    unsetenv("USERPROFILE");
}

TEST_F(MenuBar, UpdateCheckOffAtStartShowsCheckForUpdates) {
    settings.check_updates_at_startup = 0;
    GtkWidget* toggle = items_of(submenu_of(items_of(build())[0]))[4];
    EXPECT_EQ(caption(toggle), "Check for updates at startup");
}

TEST_F(MenuBar, LanguageMenuListsElevenLanguagesEachWithItsOwnRecord) {
    GtkWidget* language = items_of(build())[1];
    EXPECT_EQ(caption(language), "Language");
    EXPECT_EQ(captions(submenu_of(language)),
              (std::vector<std::string>{"English", "Polski", "Deutsch", "Русский", "български", "český",
                                        "Français", "ελληνικά", "Lietuvių", "Slovenský",
                                        "日本語 (にほんご)"}));
    const auto items = items_of(submenu_of(language));
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_NE(g_signal_handler_find(items[i], G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr,
                                        const_cast<LanguageRecord*>(&languages[i])),
                  0u)
            << languages[i].code;
    }
    // The current language's own item changes nothing (any other would restart).
    set_current_language(LANGUAGE_ENGLISH);
    gtk_menu_item_activate(GTK_MENU_ITEM(items[0]));
    EXPECT_EQ(current_language_index(), LANGUAGE_ENGLISH);
}

TEST_F(MenuBar, ConfigurationItemsWithoutAModuleSayNoDeviceAndAskNothing) {
    const auto tools = items_of(submenu_of(items_of(build())[0]));
    for (int index : {2, 3}) {
        close_message_window();
        const size_t windows_before = visible_toplevels().size();
        gtk_menu_item_activate(GTK_MENU_ITEM(tools[size_t(index)]));
        ASSERT_NE(message_window, nullptr) << index;
        const auto texts = label_texts(message_window);
        EXPECT_NE(std::find(texts.begin(), texts.end(), "No USB device found."), texts.end());
        // Only the message box is new: no file chooser was opened.
        EXPECT_EQ(visible_toplevels().size(), windows_before + 1);
    }
}

TEST(ThemesMenu, ListsTheFolderInByteOrderAndAppliesOnActivate) {
    REQUIRE_GUI();
    TempFolder themes;
    for (const char* name : {"bluecurve", "Raleigh", "MS-Windows", ".hidden"}) {
        ASSERT_EQ(mkdir(themes.file(name).c_str(), 0755), 0);
    }
    GtkWidget* top = build_theme_menu_from(themes.path().c_str());
    ASSERT_NE(top, nullptr);
    g_object_ref_sink(top);
    EXPECT_EQ(caption(top), "Themes");
    EXPECT_EQ(captions(submenu_of(top)), (std::vector<std::string>{"MS-Windows", "Raleigh", "bluecurve"}));
    for (GtkWidget* item : items_of(submenu_of(top))) {
        EXPECT_NE(g_signal_handler_find(item, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr,
                                        reinterpret_cast<gpointer>(apply_theme), nullptr),
                  0u);
    }
    g_object_unref(top);
}

TEST(ThemesMenu, EmptyFolderGivesAnEmptySubmenuMissingFolderNoMenu) {
    REQUIRE_GUI();
    TempFolder themes;
    GtkWidget* top = build_theme_menu_from(themes.path().c_str());
    ASSERT_NE(top, nullptr);
    g_object_ref_sink(top);
    ASSERT_NE(submenu_of(top), nullptr);
    EXPECT_TRUE(items_of(submenu_of(top)).empty());
    g_object_unref(top);
    EXPECT_EQ(build_theme_menu_from(themes.file("missing").c_str()), nullptr);
}

// What apply_theme writes before it restarts is what the toolkit of the new copy
// reads: the file is among the toolkit's resource files and names the theme.
TEST(ThemesMenu, WrittenThemeFileReachesTheToolkit) {
    REQUIRE_GUI();
    TempFolder profile;
    setenv("USERPROFILE", profile.path().c_str(), 1);
    add_theme_resource_file();
    const std::string path = profile.file(THEME_FILE_NAME);
    bool registered = false;
    for (gchar** file = gtk_rc_get_default_files(); file && *file; ++file) {
        if (path == *file) registered = true;
    }
    EXPECT_TRUE(registered);

    // Not the toolkit's default theme name, so only the file can have set it.
    ASSERT_TRUE(write_theme_file("QvTestTheme"));
    GtkSettings* toolkit = gtk_settings_get_default();
    gtk_rc_reparse_all_for_settings(toolkit, TRUE);
    gchar* theme = nullptr;
    gchar* icons = nullptr;
    g_object_get(toolkit, "gtk-theme-name", &theme, "gtk-icon-theme-name", &icons, nullptr);
    EXPECT_STREQ(theme, "QvTestTheme");
    EXPECT_STREQ(icons, "QvTestTheme");
    g_free(theme);
    g_free(icons);

    // Leave the toolkit as the other tests found it.
    profile.put(THEME_FILE_NAME, "");
    gtk_rc_reparse_all_for_settings(toolkit, TRUE);
    g_object_get(toolkit, "gtk-theme-name", &theme, nullptr);
    EXPECT_STRNE(theme, "QvTestTheme");
    g_free(theme);
    unsetenv("USERPROFILE");
}
