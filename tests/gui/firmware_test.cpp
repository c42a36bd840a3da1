// Flashing, firmware selection and AUTOFLASH through their windows, against the
// simulated module on virtual time: messages, the progress window, the choosers, the
// version dialog and the configuration write's variant change.
#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <deque>
#include <fstream>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/key_chord.h"
#include "config/config_editor.h"
#include "config/config_transfer.h"
#include "config/vehicle_selector.h"
#include "device/link.h"
#include "firmware/autoflash.h"
#include "firmware/firmware_select.h"
#include "firmware/flash.h"
#include "gui/editor_test_support.h"
#include "gui/gui_test_support.h"
#include "i18n/message_ids.h"
#include "i18n/messages.h"
#include "platform/file_times.h"
#include "settings/settings.h"
#include "sim/sim_firmware_image.h"
#include "ui/dialogs.h"
#include "unit/temp_folder.h"

namespace {

bool has(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

void write_firmware(const std::string& path, int version, int variant_byte, int size = 12000,
                    uint8_t hw1 = 0x50) {
    SimFirmwareIdentity identity;
    identity.firmware_version = version;
    identity.variant_byte = variant_byte;
    const std::vector<uint8_t> bytes = make_sim_firmware_file(size, identity, 0x04, hw1);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
}

// --- answering the file choosers and watching the progress window ---

std::deque<std::string> chooser_answers;  // a path, or "" to cancel
int choosers_shown = 0;
std::string chooser_filter;  // the name of the last chooser's first filter
int progress_windows = 0;
bool progress_window_refused_close = true;
gulong window_hook = 0;

gboolean answer_chooser(gpointer data) {
    GtkWidget* dialog = GTK_WIDGET(data);
    const std::string answer = chooser_answers.empty() ? "" : chooser_answers.front();
    if (!chooser_answers.empty()) chooser_answers.pop_front();
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    GSList* filters = gtk_file_chooser_list_filters(chooser);
    chooser_filter = filters ? gtk_file_filter_get_name(GTK_FILE_FILTER(filters->data)) ?: "" : "";
    g_slist_free(filters);
    if (answer.empty()) {
        gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
    } else {
        if (gtk_file_chooser_get_action(chooser) == GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER) {
            gtk_file_chooser_set_current_folder(chooser, answer.c_str());
        } else {
            gtk_file_chooser_set_filename(chooser, answer.c_str());
        }
        // The chooser loads folders in the background: wait until it holds the answer.
        for (int i = 0; i < 2000; ++i) {
            gchar* now = gtk_file_chooser_get_filename(chooser);
            const bool ready = now && answer == now;
            g_free(now);
            if (ready) break;
            g_usleep(1000);
            while (gtk_events_pending()) gtk_main_iteration();
        }
        gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    }
    g_object_unref(dialog);
    return FALSE;
}

// Presses the editor's Load as a screen reader may while the flash runs: the input
// grab does not stop it, but the flash must not see a configuration read inside it.
void press_load_meanwhile() {
    for (GtkWidget* top : visible_toplevels())
        for (GtkWidget* button : find_widgets(top, GTK_TYPE_BUTTON))
            if (has(label_texts(button), message_text(MSG_LOAD))) gtk_button_clicked(GTK_BUTTON(button));
}

gboolean try_to_close(gpointer data) {
    press_load_meanwhile();
    GtkWidget* window = GTK_WIDGET(data);
    GdkEvent* event = gdk_event_new(GDK_DELETE);
    event->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
    event->any.send_event = TRUE;
    gtk_main_do_event(event);
    gdk_event_free(event);
    // Still there: the refusal held. (A destroyed window would have dropped our ref's
    // widget out of the toplevel list.)
    const std::vector<GtkWidget*> windows = visible_toplevels();
    if (std::find(windows.begin(), windows.end(), window) == windows.end()) progress_window_refused_close = false;
    g_object_unref(window);
    return FALSE;
}

gboolean on_window_show(GSignalInvocationHint*, guint, const GValue* params, gpointer) {
    GObject* object = G_OBJECT(g_value_get_object(&params[0]));
    if (GTK_IS_FILE_CHOOSER_DIALOG(object)) {
        ++choosers_shown;
        g_idle_add(answer_chooser, g_object_ref(object));
    } else if (GTK_IS_WINDOW(object) && gtk_window_get_title(GTK_WINDOW(object)) &&
               std::string(gtk_window_get_title(GTK_WINDOW(object))) == message_text(MSG_LOADING_FIRMWARE)) {
        ++progress_windows;
        EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(object)));
        EXPECT_FALSE(gtk_window_get_deletable(GTK_WINDOW(object)));
        g_idle_add(try_to_close, g_object_ref(object));
    }
    return TRUE;
}

// Answers the version dialog: notes its entries and presses the button with the caption.
std::vector<std::string> dialog_entries;
std::string dialog_preselected;
std::string dialog_button;

gboolean answer_version_dialog(gpointer) {
    for (GtkWidget* window : visible_toplevels()) {
        if (std::string(gtk_window_get_title(GTK_WINDOW(window)) ?: "") != message_text(MSG_CHANGE_FIRMWARE)) continue;
        GtkWidget* list = find_widgets(window, GTK_TYPE_COMBO_BOX).at(0);
        dialog_entries = list_texts(list);
        dialog_preselected = active_text(list);
        for (GtkWidget* button : find_widgets(window, GTK_TYPE_BUTTON))
            if (has(label_texts(button), dialog_button)) gtk_button_clicked(GTK_BUTTON(button));
        return FALSE;
    }
    return TRUE;  // not shown yet
}

// Makes the file's last write `seconds` ago.
void set_age(const std::string& path, int seconds) {
    const time_t then = time(nullptr) - seconds;
    const timespec times[2] = {{then, 0}, {then, 0}};
    utimensat(AT_FDCWD, path.c_str(), times, 0);
}

class Firmware : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        if (!gui_ok) return;
        connection_state = CONNECTED;
        device_identity.firmware_version = 0x1005;
        device_identity.variant_flag = 0;
        chooser_answers.clear();
        choosers_shown = 0;
        progress_windows = 0;
        progress_window_refused_close = true;
        window_hook = g_signal_add_emission_hook(g_signal_lookup("show", GTK_TYPE_WIDGET), 0, on_window_show,
                                                 nullptr, nullptr);
        capture_and_close_message_window();
        std::string folder = firmware_folder.path() + "/";
        use_firmware_folder(folder.c_str());
    }
    void TearDown() override {
        if (gui_ok) {
            g_signal_remove_emission_hook(g_signal_lookup("show", GTK_TYPE_WIDGET), window_hook);
            stop_capturing_message_windows();
            use_firmware_folder(nullptr);
            forget_autoflash_watch();
            connection_state = SEARCHING;
        }
        EditorTest::TearDown();
    }
    std::string file(const std::string& name) { return firmware_folder.file(name); }
    int received_boot_blocks() { return module->counters.blocks; }

    TempFolder firmware_folder;
};

TEST_F(Firmware, GivenFileIsProgrammedBehindAProgressWindowThatCannotBeClosed) {
    build(false);  // its Load is pressed while the flash runs
    write_firmware(file("new.bin"), 1611, 0x02);
    mark_frames();
    EXPECT_EQ(flash_firmware(FLASH_GIVEN_FILE, file("new.bin").c_str()), 1);
    EXPECT_TRUE(has(captured_texts, "Successfully programmed device."));
    for (const SimFrame& f : frames_since_mark()) EXPECT_EQ(f.command, 0x10) << "only the hand-over, no read";
    EXPECT_EQ(progress_windows, 1);
    EXPECT_TRUE(progress_window_refused_close);
    EXPECT_FALSE(link_is_open());  // the module restarts; the main loop finds it again
    EXPECT_EQ(module->settings().firmware_version, 1611);
    EXPECT_EQ(module->settings().variant_byte, 0x02);
    EXPECT_EQ(message_window, nullptr);
}

TEST_F(Firmware, GivenFileThatCannotBeFlashedReturnsZeroAndSendsNothing) {
    write_firmware(file("small.bin"), 1611, 1, 12000);
    ASSERT_EQ(truncate(file("small.bin").c_str(), 9999), 0);
    write_firmware(file("corrupt.bin"), 1611, 1);
    {
        std::fstream f(file("corrupt.bin"), std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(5000);
        f.put('\x5A');
    }
    std::ofstream(file("empty.bin"));
    mark_frames();
    for (const char* name : {"small.bin", "corrupt.bin", "empty.bin"}) {
        EXPECT_EQ(flash_firmware(FLASH_GIVEN_FILE, file(name).c_str()), 0) << name;
    }
    process_pending_events();
    EXPECT_TRUE(captured_texts.empty());
    EXPECT_EQ(progress_windows, 0);
    EXPECT_TRUE(frames_since_mark().empty());
    EXPECT_TRUE(link_is_open());

    EXPECT_EQ(flash_firmware(FLASH_GIVEN_FILE, file("missing.bin").c_str()), 0);
    process_pending_events();
    EXPECT_TRUE(has(captured_texts, "Error opening file " + file("missing.bin") + " !"));
}

TEST_F(Firmware, ResultMessagesForIncompatibleHardwareAndWriteErrors) {
    write_firmware(file("other.bin"), 1611, 1, 12000, 0x51);
    EXPECT_EQ(flash_firmware(FLASH_GIVEN_FILE, file("other.bin").c_str()), 1);
    EXPECT_TRUE(has(captured_texts, "File is not compatible with hardware"));
    EXPECT_EQ(received_boot_blocks(), 0);
    EXPECT_FALSE(link_is_open());

    // The module waits in its bootloader, unchanged.
    ASSERT_EQ(link_open(), 2);
    captured_texts.clear();
    module->refuse_blocks(12);
    write_firmware(file("good.bin"), 1611, 1);
    EXPECT_EQ(flash_firmware(FLASH_GIVEN_FILE, file("good.bin").c_str()), 1);
    EXPECT_TRUE(has(captured_texts, "Write error!"));
    EXPECT_FALSE(has(captured_texts, "Successfully programmed device."));
}

TEST_F(Firmware, ChooserModes) {
    // A module must be open for the menu's mode: no chooser without one.
    link_close();
    EXPECT_EQ(flash_firmware(FLASH_CHOOSER_OPEN), 1);
    EXPECT_EQ(choosers_shown, 0);
    ASSERT_EQ(link_open(), 1);

    // Too small: "File corrupted!" and the chooser again (cancelled here).
    write_firmware(file("small.bin"), 1611, 1);
    ASSERT_EQ(truncate(file("small.bin").c_str(), 5000), 0);
    chooser_answers = {file("small.bin"), ""};
    EXPECT_EQ(flash_firmware(FLASH_CHOOSER_OPEN), 1);
    EXPECT_EQ(choosers_shown, 2);
    EXPECT_EQ(chooser_filter, "Firmware files (*.bin)");
    EXPECT_TRUE(has(captured_texts, "File corrupted!"));

    // Corrupt: "File corrupted!" and the update ends.
    write_firmware(file("corrupt.bin"), 1611, 1);
    ASSERT_EQ(truncate(file("corrupt.bin").c_str(), 11000), 0);
    captured_texts.clear();
    chooser_answers = {file("corrupt.bin")};
    EXPECT_EQ(flash_firmware(FLASH_CHOOSER_OPEN), 1);
    EXPECT_EQ(choosers_shown, 3);
    wait_message_closed();
    EXPECT_TRUE(has(captured_texts, "File corrupted!"));
    EXPECT_EQ(received_boot_blocks(), 0);

    // A good file: programmed, and its folder remembered.
    write_firmware(file("good.bin"), 1601, 1);
    captured_texts.clear();
    chooser_answers = {file("good.bin")};
    EXPECT_EQ(flash_firmware(FLASH_CHOOSER), 1);
    EXPECT_TRUE(has(captured_texts, "Successfully programmed device."));
    EXPECT_EQ(module->settings().firmware_version, 1601);
    ASSERT_NE(settings.firmware_folder, nullptr);
    EXPECT_EQ(std::string(settings.firmware_folder), firmware_folder.path());
}

TEST_F(Firmware, VersionDialogListsTheFolderAndFlashesTheVariantTheLevelNeeds) {
    build(false);
    write_firmware(file("QV450_1601.bin"), 1601, 1);
    write_firmware(file("QV450_1605.bin"), 1605, 1);
    write_firmware(file("QV450_1611_GRUPA_B.bin"), 1611, 2);
    set_can_level_text("136");
    dialog_button = "Program";
    g_timeout_add(10, answer_version_dialog, nullptr);
    select_firmware(SELECT_BY_DIALOG, editor_can_level());
    EXPECT_EQ(dialog_entries, (std::vector<std::string>{"QV450 version 1601", "QV450 version 1605",
                                                        "QV450 version 1611"}));
    EXPECT_EQ(dialog_preselected, "QV450 version 1611");
    EXPECT_TRUE(has(captured_texts, "Successfully programmed device."));
    EXPECT_EQ(module->settings().variant_byte, 2);

    // Cancel flashes nothing.
    ASSERT_EQ(link_open(), 1);
    const int blocks = received_boot_blocks();
    dialog_button = "Cancel";
    g_timeout_add(10, answer_version_dialog, nullptr);
    select_firmware(SELECT_BY_DIALOG, editor_can_level());
    EXPECT_EQ(received_boot_blocks(), blocks);
    EXPECT_TRUE(link_is_open());
}

// A Tesla S (level 250 needs variant B) written to a variant-A module at 1605: the B
// file of the newest version in 1605's word (1611) is flashed, then the level written.
TEST_F(Firmware, ConfigurationWriteChangesTheVariantTheLevelNeeds) {
    for (int version : {1601, 1605, 1611})
        for (int variant : {1, 2}) {
            char name[40];
            std::snprintf(name, sizeof name, "QV450_%04d_GRUPA_%c.bin", version, 'A' + variant - 1);
            write_firmware(file(name), version, variant);
        }
    build(false);
    read_configuration();
    set_can_level_text("250");
    answer_questions(true);
    write_configuration();
    process_pending_events();
    EXPECT_EQ(questions_asked, 1);
    EXPECT_EQ(module->memory()[0x01], 249);
    EXPECT_TRUE(has(captured_texts, "Successfully programmed device."));
    EXPECT_EQ(module->settings().firmware_version, 1611);
    EXPECT_EQ(module->settings().variant_byte, 2);
}

// Kia Soul (level 136 needs B) on a variant-A module at 1605.
TEST_F(Firmware, ConfigurationWriteSucceedsOnlyWhenTheModuleRunsTheNeededVariant) {
    write_firmware(file("QV450_1605.bin"), 1605, 1);  // no variant in the name, variant A inside
    build(false);
    read_configuration();
    const uint8_t level_before = module->memory()[0x01];
    set_can_level_text("136");
    answer_questions(true);
    write_configuration();
    process_pending_events();
    EXPECT_TRUE(has(captured_texts, "No firmware of this version for selected CAN level."));
    EXPECT_FALSE(has(captured_texts, "Successfully programmed device."));
    EXPECT_EQ(module->memory()[0x01], level_before);
    EXPECT_FALSE(link_is_open());  // the main loop identifies the module afresh

    write_firmware(file("QV450_1610_GRUPA_A.bin"), 1610, 1);
    write_firmware(file("QV450_1610_GRUPA_B.bin"), 1610, 2);
    ASSERT_EQ(link_open(), 1);
    captured_texts.clear();
    write_configuration();
    process_pending_events();
    EXPECT_TRUE(has(captured_texts, "Successfully programmed device."));
    EXPECT_EQ(module->memory()[0x01], 135);
    EXPECT_EQ(module->settings().variant_byte, 2);
    EXPECT_EQ(device_identity.variant_letter, 'B');
    EXPECT_TRUE(link_is_open());
}

TEST_F(Firmware, ConfigurationWriteSaysWhenTheVariantCannotChange) {
    build(false);
    read_configuration();
    set_can_level_text("250");
    answer_questions(true);
    // An empty firmware folder: nothing to flash.
    write_configuration();
    process_pending_events();
    EXPECT_TRUE(has(captured_texts, "No firmware of this version for selected CAN level."));

    // The version is there, the variant file is not.
    captured_texts.clear();
    write_firmware(file("QV450_1605_GRUPA_A.bin"), 1605, 1);
    write_configuration();
    process_pending_events();
    EXPECT_TRUE(has(captured_texts, "Error opening file " + file("QV450_1605_GRUPA_B.bin") + " !"));

    // The variant file is corrupt.
    captured_texts.clear();
    write_firmware(file("QV450_1605_GRUPA_B.bin"), 1605, 2);
    ASSERT_EQ(truncate(file("QV450_1605_GRUPA_B.bin").c_str(), 11000), 0);
    write_configuration();
    process_pending_events();
    EXPECT_TRUE(has(captured_texts, "File corrupted!"));
    EXPECT_EQ(module->settings().variant_byte, 1);
    EXPECT_EQ(received_boot_blocks(), 0);
    EXPECT_NE(module->memory()[0x01], 249) << "the level waits for the variant";
}

TEST_F(Firmware, AutoflashFolderChosenThenANewFileIsFlashedOnceSettled) {
    main_window = MainWindow();
    main_window.indicator_label = gtk_label_new("");
    g_object_ref_sink(main_window.indicator_label);
    write_firmware(file("QV450_1605.bin"), 1605, 1);
    set_age(file("QV450_1605.bin"), 100);
    chooser_answers = {firmware_folder.path()};
    choose_autoflash_folder();
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(main_window.indicator_label)), "AUTOFLASH");
    ASSERT_TRUE(autoflash_folder_set());
    EXPECT_EQ(std::string(settings.firmware_folder), firmware_folder.path());

    autoflash_watch();  // the first look only records what is there
    EXPECT_EQ(received_boot_blocks(), 0);
    write_firmware(file("QV450_1611.bin"), 1611, 2);
    autoflash_watch();  // just written: not yet
    EXPECT_EQ(received_boot_blocks(), 0);
    set_age(file("QV450_1611.bin"), 4);
    autoflash_watch();
    EXPECT_TRUE(has(captured_texts, "Successfully programmed device."));
    EXPECT_EQ(module->settings().firmware_version, 1611);
    ASSERT_EQ(link_open(), 1);
    autoflash_watch();  // done: not again
    EXPECT_TRUE(link_is_open());
    gtk_widget_destroy(main_window.indicator_label);
    g_object_unref(main_window.indicator_label);
    main_window = MainWindow();
}

TEST_F(Firmware, ChoosingAnotherAutoflashFolderOnlyRecordsWhatItHolds) {
    TempFolder empty;
    chooser_answers = {empty.path()};
    choose_autoflash_folder();
    autoflash_watch();
    write_firmware(file("QV450_1605.bin"), 1605, 1);
    set_age(file("QV450_1605.bin"), 100);
    chooser_answers = {firmware_folder.path()};
    choose_autoflash_folder();
    autoflash_watch();
    autoflash_watch();
    EXPECT_EQ(received_boot_blocks(), 0);
    EXPECT_TRUE(link_is_open());
}

TEST(KeyChord, NumLockAndCapsLockDoNotCountAsTheChordsModifier) {
    const guint num_lock = GDK_MOD2_MASK;
    struct Case {
        guint state;
        guint keyval;
        bool expected;
    };
    const Case cases[] = {
        {GDK_CONTROL_MASK | GDK_MOD2_MASK, GDK_f, false},  // plain Ctrl+F with Num Lock on
        {GDK_CONTROL_MASK | GDK_MOD2_MASK | GDK_LOCK_MASK, GDK_F, false},
        {GDK_CONTROL_MASK | GDK_MOD1_MASK, GDK_f, true},  // Ctrl+Alt+F
        {GDK_CONTROL_MASK | GDK_MOD1_MASK | GDK_MOD2_MASK, GDK_F, true},
        {GDK_CONTROL_MASK | GDK_MOD3_MASK, GDK_f, true},
        {GDK_CONTROL_MASK | GDK_MOD4_MASK, GDK_f, true},
        {GDK_MOD1_MASK, GDK_f, false},
        {GDK_CONTROL_MASK | GDK_MOD1_MASK, GDK_g, false},
        {GDK_CONTROL_MASK, GDK_f, false},
    };
    for (const Case& c : cases) EXPECT_EQ(is_autoflash_chord(c.state, c.keyval, num_lock), c.expected) << c.state;
    // With a keymap that binds Num Lock elsewhere, Mod2 is an ordinary modifier.
    EXPECT_TRUE(is_autoflash_chord(GDK_CONTROL_MASK | GDK_MOD2_MASK, GDK_f, 0));
}

TEST(KeyChord, TheDisplaysNumLockModifierIsFound) {
    REQUIRE_GUI();
    // The X server's usual keymap binds Num Lock to Mod2.
    EXPECT_TRUE(lock_modifier_masks() & GDK_MOD2_MASK);
    EXPECT_FALSE(lock_modifier_masks() & GDK_MOD1_MASK);
}

}  // namespace
