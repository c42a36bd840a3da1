// Configuration files against a real editor and the simulated module: what a save
// writes in each view, what a load changes, the messages, the file choosers, and a
// round trip module -> file -> module.
#include "config/config_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "config/config_editor.h"
#include "config/config_transfer.h"
#include "config/pin_rows.h"
#include "config/vehicle_selector.h"
#include "connection/connection.h"
#include "gui/chooser_test_support.h"
#include "gui/editor_test_support.h"
#include "gui/gui_test_support.h"
#include "settings/settings.h"
#include "ui/dialogs.h"
#include "unit/temp_folder.h"

namespace {

constexpr int LOCK = 1;
constexpr int SEND_LOCK = 21;

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "every line ends with CR LF";
    return lines;
}

bool message_shows(const std::string& text) {
    const std::vector<std::string> texts = message_window_texts();
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

class ConfigFile : public EditorTest {
protected:
    void TearDown() override {
        EditorTest::TearDown();
        settings.config_folder = nullptr;
    }
    // Saves through the path variant and returns the file's text.
    std::string saved(const std::string& name = "saved.cfg") {
        EXPECT_TRUE(save_config_to_path(folder.file(name).c_str()));
        EXPECT_TRUE(message_shows("Configuration saved."));
        close_message_window();
        return folder.get(name);
    }
    bool load_text(const std::string& text) {
        folder.put("load.cfg", text);
        close_message_window();
        return load_config_from_path(folder.file("load.cfg").c_str());
    }
    TempFolder folder;
};

TEST_F(ConfigFile, CompactSaveWritesTwentyEightLines) {
    build(false);
    read_configuration();
    const std::vector<std::string> lines = lines_of(saved());
    ASSERT_EQ(lines.size(), 28u);
    EXPECT_EQ(lines[0], "carnumber=" + std::to_string(selected_vehicle_number()));
    EXPECT_EQ(lines[1], std::string("canlevel=") + can_level_text());
    EXPECT_EQ(lines[2], "J1_3_signal=" + std::to_string(row_signal(PIN_J1_3)));
    EXPECT_EQ(lines[3], "J1_3_iotype=" + std::to_string(row_io(PIN_J1_3)));
    EXPECT_EQ(lines[27], "J2_12_iotype=" + std::to_string(row_io(PIN_J2_12)));
    for (const std::string& line : lines) {
        EXPECT_EQ(line.find("_inv"), std::string::npos);
        EXPECT_EQ(line.find("_trigger"), std::string::npos);
    }
}

TEST_F(ConfigFile, AdvancedSaveWritesFiftyFourLinesAndMakesThemTheReferences) {
    build(true);
    read_configuration();
    set_row_signal(PIN_J2_10, LOCK);
    set_row_inverted(PIN_J2_10, true);
    set_row_trigger(PIN_J2_10, 7);
    set_can_level_text("31");
    ASSERT_TRUE(list_marked(signal_lists[PIN_J2_10]));
    ASSERT_TRUE(inversion_box_marked(inversion_boxes[PIN_J2_10]));
    ASSERT_TRUE(can_level_field_marked());
    const int number = selected_vehicle_number();

    const std::vector<std::string> lines = lines_of(saved());
    ASSERT_EQ(lines.size(), 54u);
    const size_t j2_10 = 2 + PIN_J2_10 * 4;
    EXPECT_EQ(lines[1], "canlevel=31");
    EXPECT_EQ(lines[j2_10], "J2_10_signal=1");
    EXPECT_EQ(lines[j2_10 + 1], "J2_10_inv=1");
    EXPECT_EQ(lines[j2_10 + 3], "J2_10_trigger=7");
    EXPECT_EQ(pin_references[PIN_J2_10].signal, LOCK);
    EXPECT_EQ(pin_references[PIN_J2_10].inverted, 1);
    EXPECT_EQ(pin_references[PIN_J2_10].trigger, 7);
    EXPECT_EQ(device_can_level, 31);
    EXPECT_EQ(vehicle_number, number);
    EXPECT_FALSE(list_marked(signal_lists[PIN_J2_10]));
    EXPECT_FALSE(inversion_box_marked(inversion_boxes[PIN_J2_10]));
    EXPECT_FALSE(list_marked(trigger_lists[PIN_J2_10]));
    EXPECT_FALSE(can_level_field_marked());
}

TEST_F(ConfigFile, CompactFileInTheAdvancedViewLeavesInversionAndTrigger) {
    build(false);
    read_configuration();
    set_row_signal(PIN_J2_4, SEND_LOCK);
    const std::string compact = saved("compact.cfg");

    build(true);
    read_configuration();
    set_row_inverted(PIN_J2_9, true);
    set_row_trigger(PIN_J2_9, 12);
    const int j1_3_trigger = row_trigger(PIN_J1_3);
    ASSERT_TRUE(load_text(compact));
    EXPECT_TRUE(message_shows("Configuration loaded successfully."));
    EXPECT_EQ(row_signal(PIN_J2_4), SEND_LOCK);
    EXPECT_TRUE(row_inverted(PIN_J2_9));
    EXPECT_EQ(row_trigger(PIN_J2_9), 12);
    EXPECT_EQ(row_trigger(PIN_J1_3), j1_3_trigger);
}

TEST_F(ConfigFile, AudiA3LoadSelectsTheVehicleAndTheNextWriteSendsItsNumber) {
    build(false);
    read_configuration();
    ASSERT_TRUE(load_text("carnumber=17\r\ncanlevel=3\r\n"));
    EXPECT_EQ(active_text(vehicle_selector.make_list), "Audi");
    EXPECT_EQ(active_text(vehicle_selector.model_list), "A3 8P year 2003-2008");
    EXPECT_STREQ(can_level_text(), "3");
    EXPECT_FALSE(can_level_field_marked());
    EXPECT_EQ(device_can_level, 3);
    EXPECT_EQ(vehicle_number, 17);
    EXPECT_TRUE(message_shows("Configuration loaded successfully."));

    close_message_window();
    write_configuration();
    EXPECT_EQ(module->memory()[0x01], 3 - 1);
    EXPECT_EQ(module->memory()[0x05], 0);
    EXPECT_EQ(module->memory()[0x06], 17);
}

TEST_F(ConfigFile, BlanksAroundTheEqualsSign) {
    build(false);
    read_configuration();
    vehicle_number = 99;
    const int make = active_position(vehicle_selector.make_list);
    const int model = active_position(vehicle_selector.model_list);
    ASSERT_TRUE(load_text("carnumber =16\r\n"));
    EXPECT_EQ(vehicle_number, 99) << "\"carnumber \" is no key";
    EXPECT_EQ(active_position(vehicle_selector.make_list), make);
    EXPECT_EQ(active_position(vehicle_selector.model_list), model);
    EXPECT_TRUE(message_shows("Configuration loaded successfully."));

    device_can_level = 0;
    ASSERT_TRUE(load_text("canlevel= 3\r\n"));
    EXPECT_STREQ(can_level_text(), " 3");
    EXPECT_EQ(device_can_level, 3);
    EXPECT_FALSE(can_level_field_marked());
}

TEST_F(ConfigFile, LineEndsDoNotMatter) {
    build(false);
    read_configuration();
    const std::vector<std::string> files = {
        "J2_5_signal=1\r\nJ2_5_iotype=1\r\ncanlevel=14\r\n",
        "J2_5_signal=1\nJ2_5_iotype=1\ncanlevel=14\n",
        "J2_5_signal=1\nJ2_5_iotype=1\ncanlevel=14",
    };
    for (const std::string& file : files) {
        set_row_signal(PIN_J2_5, 0);
        set_can_level_text("3");
        ASSERT_TRUE(load_text(file));
        EXPECT_EQ(row_signal(PIN_J2_5), LOCK);
        EXPECT_EQ(row_io(PIN_J2_5), 1);
        EXPECT_EQ(active_text(io_lists[PIN_J2_5]), "Output-");
        EXPECT_STREQ(can_level_text(), "14");
        EXPECT_EQ(device_can_level, 14);
    }
}

TEST_F(ConfigFile, RepeatedKeysApplyInOrderTheLastWins) {
    build(true);
    read_configuration();
    ASSERT_TRUE(load_text("J2_6_signal=1\r\nJ2_6_trigger=3\r\nJ2_6_signal=2\r\nJ2_6_trigger=9\r\n"));
    EXPECT_EQ(row_signal(PIN_J2_6), 2);
    EXPECT_EQ(pin_references[PIN_J2_6].signal, 2);
    EXPECT_EQ(row_trigger(PIN_J2_6), 9);
    EXPECT_FALSE(list_marked(signal_lists[PIN_J2_6]));
    EXPECT_FALSE(list_marked(trigger_lists[PIN_J2_6]));
}

TEST_F(ConfigFile, PositionTheListLacksLeavesNoChoiceMarkedRed) {
    build(false);
    read_configuration();
    ASSERT_TRUE(load_text("J2_6_signal=1\r\nJ2_6_iotype=5\r\nJ2_7_inv=1\r\nJ2_7_trigger=4\r\nJ2_8_signal=x\r\n"));
    EXPECT_EQ(active_position(io_lists[PIN_J2_6]), -1);
    EXPECT_EQ(pin_references[PIN_J2_6].io, 5);
    EXPECT_TRUE(list_marked(io_lists[PIN_J2_6]));
    EXPECT_EQ(row_signal(PIN_J2_8), 0) << "not a number reads as 0";
    EXPECT_TRUE(message_shows("Configuration loaded successfully."));
}

TEST_F(ConfigFile, AnyInversionOtherThanZeroIsTheTickedBox) {
    build(true);
    read_configuration();
    ASSERT_TRUE(load_text("J2_7_inv=2\r\n"));
    EXPECT_TRUE(row_inverted(PIN_J2_7));
    EXPECT_EQ(pin_references[PIN_J2_7].inverted, 1);
    EXPECT_FALSE(inversion_box_marked(inversion_boxes[PIN_J2_7])) << "equal to its reference, not red for ever";
}

TEST_F(ConfigFile, FileErrorsAndEmptyFiles) {
    build(false);
    read_configuration();
    const std::string missing = folder.file("missing.cfg");
    EXPECT_FALSE(load_config_from_path(missing.c_str()));
    EXPECT_TRUE(message_shows("Error opening file " + missing + " !"));
    EXPECT_FALSE(message_shows("Configuration loaded successfully."));

    close_message_window();
    EXPECT_FALSE(load_text(""));
    EXPECT_EQ(message_window, nullptr) << "an empty file says nothing";

    // A failed write keeps the references: the red marks still show what is unsaved.
    set_row_signal(PIN_J2_10, LOCK);
    const PinReference before = pin_references[PIN_J2_10];
    const int level_before = device_can_level;
    const std::string unwritable = folder.file("no-such-folder/x.cfg");
    EXPECT_FALSE(save_config_to_path(unwritable.c_str()));
    EXPECT_TRUE(message_shows("Error writing file " + unwritable + " !"));
    EXPECT_FALSE(message_shows("Configuration saved."));
    EXPECT_EQ(pin_references[PIN_J2_10].signal, before.signal);
    EXPECT_EQ(device_can_level, level_before);
    EXPECT_TRUE(list_marked(signal_lists[PIN_J2_10]));
}

TEST_F(ConfigFile, WithoutAnEditorNothingIsReadOrWritten) {
    folder.put("load.cfg", "canlevel=5\r\n");
    EXPECT_FALSE(load_config_from_path(folder.file("load.cfg").c_str()));
    EXPECT_TRUE(message_shows("No USB device found."));
    EXPECT_FALSE(save_config_to_path(folder.file("saved.cfg").c_str()));
    EXPECT_EQ(folder.get("saved.cfg"), "<missing>");
}

// Read, save to a file, default settings, load the file, write: the module's memory
// ends as it began.
TEST_F(ConfigFile, RoundTripThroughAFileRestoresTheModule) {
    for (bool advanced : {false, true}) {
        SCOPED_TRACE(advanced ? "advanced" : "compact");
        build(advanced);
        read_configuration();
        // Away from the defaults first, and written so the memory holds it.
        set_row_signal(PIN_J2_10, LOCK);
        set_row_io(PIN_J2_10, 1);
        set_row_signal(PIN_J2_3, SEND_LOCK);
        set_row_signal(PIN_J1_3, 0);
        if (advanced) {
            set_row_inverted(PIN_J2_8, true);
            set_row_trigger(PIN_J2_8, 17);
        }
        choose_text(vehicle_selector.make_list, "Audi");
        choose_text(vehicle_selector.model_list, "A3 8P year 2003-2008");
        write_configuration();
        ASSERT_EQ(module->memory()[0x06], 17);
        std::array<uint8_t, SIM_MEMORY_SIZE> original;
        std::copy(module->memory(), module->memory() + SIM_MEMORY_SIZE, original.begin());

        build(advanced);
        read_configuration();
        saved("round.cfg");
        load_default_configuration();
        ASSERT_NE(row_signal(PIN_J2_10), LOCK);
        ASSERT_TRUE(load_config_from_path(folder.file("round.cfg").c_str()));
        close_message_window();
        write_configuration();
        EXPECT_EQ(message_window, nullptr);
        for (int address = 0; address < SIM_MEMORY_SIZE; ++address) {
            EXPECT_EQ(module->memory()[address], original[size_t(address)]) << "address " << address;
        }
    }
}

class ConfigFileChooser : public ConfigFile {
protected:
    void SetUp() override {
        ConfigFile::SetUp();
        if (!gui_ok) return;
        start_answering_choosers();
    }
    void TearDown() override {
        stop_answering_choosers();
        ConfigFile::TearDown();
    }
};

TEST_F(ConfigFileChooser, SaveAddsCfgAndRemembersTheFolder) {
    build(false);
    read_configuration();
    chooser_answer.folder = folder.path();
    chooser_answer.name = "conf";
    save_config_file();
    EXPECT_EQ(chooser_answer.shown, 1);
    EXPECT_EQ(chooser_answer.title, "Save to disk");
    EXPECT_EQ(chooser_answer.filters, std::vector<std::string>{"Configuration files (*.cfg)"});
    EXPECT_EQ(lines_of(folder.get("conf.cfg")).size(), 28u);
    EXPECT_EQ(folder.get("conf"), "<missing>");
    EXPECT_STREQ(settings.config_folder, folder.path().c_str());
    EXPECT_TRUE(message_shows("Configuration saved."));

    for (const char* name : {"conf.CFG", "conf.Cfg"}) {
        chooser_answer.name = name;
        save_config_file();
    }
    // A full path typed over the folder on display: the file's folder is remembered.
    mkdir(folder.file("typed").c_str(), 0700);
    chooser_answer.name = folder.file("typed/full");
    save_config_file();
    EXPECT_NE(folder.get("typed/full.cfg"), "<missing>");
    EXPECT_STREQ(settings.config_folder, folder.file("typed").c_str());
    chooser_answer.folder = folder.path();
    chooser_answer.name = "conf";
    save_config_file();
    EXPECT_NE(folder.get("conf.CFG"), "<missing>");
    EXPECT_NE(folder.get("conf.Cfg.cfg"), "<missing>");
    EXPECT_EQ(folder.get("conf.Cfg"), "<missing>");

    // The next chooser opens in the remembered folder; loading from it works too.
    chooser_answer.folder = "";
    chooser_answer.name = "conf.cfg";
    close_message_window();
    folder.put("conf.cfg", "J2_11_signal=1\r\n");
    load_config_file();
    EXPECT_EQ(chooser_answer.title, "Load from file");
    EXPECT_EQ(chooser_answer.started_in, folder.path());
    EXPECT_EQ(row_signal(PIN_J2_11), LOCK);
}

TEST_F(ConfigFileChooser, OpenLoadsTheChosenFileCancelDoesNothing) {
    build(false);
    read_configuration();
    folder.put("pick.cfg", "J2_11_signal=1\r\n");
    chooser_answer.folder = folder.path();
    chooser_answer.name = "pick.cfg";
    load_config_file();
    EXPECT_EQ(row_signal(PIN_J2_11), LOCK);
    EXPECT_TRUE(message_shows("Configuration loaded successfully."));

    close_message_window();
    chooser_answer.accept = false;
    settings.config_folder = nullptr;
    save_config_file();
    load_config_file();
    EXPECT_EQ(chooser_answer.shown, 3);
    EXPECT_EQ(message_window, nullptr);
    EXPECT_EQ(folder.names(), std::vector<std::string>{"pick.cfg"});
    EXPECT_EQ(settings.config_folder, nullptr) << "a cancelled chooser remembers nothing";
}

}  // namespace
