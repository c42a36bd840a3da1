// Reading, default settings and writing against the simulated module: what reaches
// the module's memory, what the editor shows, and how the waits end.
#include <gtest/gtest.h>

#include <algorithm>

#include "config/config_editor.h"
#include "config/config_transfer.h"
#include "config/pin_rows.h"
#include "config/vehicle_selector.h"
#include "connection/connection.h"
#include "gui/editor_test_support.h"
#include "gui/gui_test_support.h"
#include "i18n/message_ids.h"
#include "i18n/messages.h"
#include "ui/dialogs.h"

namespace {

constexpr int LOCK = 1;
constexpr int SEND_LOCK = 21;
constexpr int VEHICLE_SPEED = 31;
constexpr int FIAT_TX = 32;

int count_frames(const std::vector<SimFrame>& frames, uint8_t command) {
    int n = 0;
    for (const SimFrame& f : frames) n += f.command == command;
    return n;
}

bool bit_set(SimModule& module, int address, uint8_t mask) { return (module.memory()[address] & mask) != 0; }

using ConfigTransfer = EditorTest;

struct ShownPin {
    int pin;
    const char* signal;
    int io;             // -1: not checked (no signal)
    const char* trigger;  // nullptr: the list is hidden
};

TEST_F(ConfigTransfer, DefaultSettingsInTheAdvancedView) {
    build(true);
    mark_frames();
    load_default_configuration();
    EXPECT_TRUE(frames_since_mark().empty()) << "nothing is sent";
    EXPECT_STREQ(can_level_text(), "3");
    EXPECT_EQ(active_text(vehicle_selector.model_list), "A1 8X year 2010->");
    EXPECT_FALSE(can_level_field_marked());
    const ShownPin expected[] = {
        {PIN_J1_3, "ALARM", 0, "level+1s"},
        {PIN_J1_4, "SEND_HAZARD_LIGHTS", 0, nullptr},
        {PIN_J2_2, "none", -1, nullptr},
        {PIN_J2_3, "LOCK", 0, "level+1s"},
        {PIN_J2_4, "LOCK_STATE", 0, "level+1s"},
        {PIN_J2_5, "DOOR_FRONT_LEFT", 0, "level"},
        {PIN_J2_6, "ALARM_OEM", 0, "level+1s"},
        {PIN_J2_7, "DOOR/TRUNK/BONNET", 0, "level+1s"},
        {PIN_J2_8, "DOOR_FRONT_RIGHT", 1, "level+1s"},
        {PIN_J2_9, "ALARM", 0, "level+1s"},
        {PIN_J2_10, "none", -1, nullptr},
        {PIN_J2_11, "none", -1, nullptr},
        {PIN_J2_12, "none", -1, nullptr},
    };
    for (const ShownPin& e : expected) {
        SCOPED_TRACE(testing::Message() << "pin " << e.pin);
        EXPECT_EQ(active_text(signal_lists[e.pin]), e.signal);
        EXPECT_FALSE(list_marked(signal_lists[e.pin]));
        if (e.io >= 0) {
            EXPECT_EQ(active_position(io_lists[e.pin]), e.io);
            EXPECT_FALSE(list_marked(io_lists[e.pin]));
            EXPECT_FALSE(row_inverted(e.pin));
            EXPECT_FALSE(inversion_box_marked(inversion_boxes[e.pin]));
        }
        EXPECT_EQ(gtk_widget_get_visible(trigger_lists[e.pin]) != FALSE, e.trigger != nullptr);
        if (e.trigger) {
            EXPECT_EQ(active_text(trigger_lists[e.pin]), e.trigger);
            EXPECT_FALSE(list_marked(trigger_lists[e.pin]));
        }
    }
    EXPECT_EQ(active_text(io_lists[PIN_J2_8]), "Output+ (max 8mA)");
}

TEST_F(ConfigTransfer, InvertedSendSignalInTheInputSlot) {
    module->memory()[0xAA] = 0x5A;  // J2-5 input slot: SEND_UNLOCK_ALL, inverted
    module->memory()[0x86] = 0x80;
    for (bool advanced : {false, true}) {
        build(advanced);
        read_configuration();
        EXPECT_EQ(active_text(signal_lists[PIN_J2_5]), "SEND_UNLOCK_ALL");
        EXPECT_EQ(row_inverted(PIN_J2_5), advanced);
        EXPECT_FALSE(gtk_widget_get_visible(trigger_lists[PIN_J2_5]));
    }
}

TEST_F(ConfigTransfer, HeaderLevelAndNumberSelectTheVehicle) {
    module->memory()[0x01] = 0xFE;  // level 255: no catalogue row
    build(false);
    read_configuration();
    EXPECT_STREQ(can_level_text(), "255");
    EXPECT_EQ(device_can_level, 255);
    EXPECT_EQ(active_position(vehicle_selector.make_list), -1);
    EXPECT_FALSE(can_level_field_marked());

    module->memory()[0x01] = 110 - 1;
    module->memory()[0x05] = 0;
    module->memory()[0x06] = 17;
    read_configuration();
    EXPECT_EQ(active_text(vehicle_selector.model_list), "A3 8P year 2003-2008");
    EXPECT_STREQ(can_level_text(), "110");
}

TEST_F(ConfigTransfer, WriteReachesTheModulesMemoryAndReadsBackUnchanged) {
    build(true);
    read_configuration();
    set_row_signal(PIN_J2_10, VEHICLE_SPEED);
    set_row_io(PIN_J2_10, 3);        // Output+ (max 64mA): pattern 0x33
    set_row_trigger(PIN_J2_10, 23);  // edge+1s: 0x9D
    set_row_inverted(PIN_J2_10, true);
    set_row_signal(PIN_J2_4, FIAT_TX);
    set_row_signal(PIN_J2_5, 0);
    set_can_level_text("1");
    EXPECT_TRUE(list_marked(signal_lists[PIN_J2_10]));

    mark_frames();
    write_configuration();
    EXPECT_EQ(message_window, nullptr);
    const std::vector<SimFrame> frames = frames_since_mark();
    ASSERT_EQ(count_frames(frames, 0x06), 5);
    EXPECT_EQ(frames.back().command, 0x09);
    EXPECT_FALSE(list_marked(signal_lists[PIN_J2_10])) << "the write made it the reference";
    EXPECT_FALSE(can_level_field_marked());

    SimModule& m = *module;
    EXPECT_EQ(m.memory()[0x89], 0x22 | 0x40);
    EXPECT_EQ(m.memory()[0xAD], 0x80);
    EXPECT_EQ(m.memory()[0xCD], 0x9D);
    EXPECT_EQ(m.memory()[0xD8], 0x00) << "the alternative trigger byte is blanked";
    EXPECT_TRUE(bit_set(m, 0xB6, 0x02));
    EXPECT_TRUE(bit_set(m, 0xB4, 0x40));
    EXPECT_FALSE(bit_set(m, 0x94, 0x80));
    EXPECT_FALSE(bit_set(m, 0xB3, 0x40));
    EXPECT_TRUE(bit_set(m, 0xBA, 0x40));
    EXPECT_TRUE(bit_set(m, 0xBC, 0x02));
    EXPECT_EQ(m.memory()[0x85], 0x23) << "Fiat_TX";
    // A pin without a signal: 0x80 in both slots, trigger 0, pattern 0x3C.
    EXPECT_EQ(m.memory()[0x86], 0x80);
    EXPECT_EQ(m.memory()[0xAA], 0x80);
    EXPECT_EQ(m.memory()[0xCA], 0x00);
    EXPECT_TRUE(bit_set(m, 0xB5, 0x01));
    EXPECT_TRUE(bit_set(m, 0xB4, 0x08));
    EXPECT_TRUE(bit_set(m, 0x8B, 0x80));
    EXPECT_TRUE(bit_set(m, 0xB3, 0x08));
    EXPECT_FALSE(bit_set(m, 0xBA, 0x08));
    EXPECT_FALSE(bit_set(m, 0xBB, 0x01));
    EXPECT_EQ(m.memory()[0x01], 0x00) << "level 1";
    EXPECT_EQ(m.memory()[0x05], 0x00);

    PinSetting written[PIN_COUNT];
    for (int pin = 0; pin < PIN_COUNT; ++pin) written[pin] = row_setting(pin);
    build(true);
    read_configuration();
    for (int pin = 0; pin < PIN_COUNT; ++pin) {
        SCOPED_TRACE(testing::Message() << "pin " << pin);
        const PinSetting read = row_setting(pin);
        EXPECT_EQ(read.signal, written[pin].signal);
        if (read.signal == 0) continue;
        EXPECT_EQ(read.inverted, written[pin].inverted);
        EXPECT_EQ(read.io, written[pin].io);
        EXPECT_EQ(read.trigger, written[pin].trigger);
        EXPECT_FALSE(list_marked(signal_lists[pin]));
        EXPECT_FALSE(list_marked(io_lists[pin]));
    }
}

TEST_F(ConfigTransfer, CompactInputMinusSetsPattern0x28) {
    build(false);
    read_configuration();
    set_row_signal(PIN_J2_6, SEND_LOCK);
    set_row_io(PIN_J2_6, 1);  // "Input-"
    write_configuration();
    SimModule& m = *module;
    EXPECT_EQ(m.memory()[0xA8], 0x18);
    EXPECT_EQ(m.memory()[0x84], 0x80);
    EXPECT_EQ(m.memory()[0xC8], 0x00);
    EXPECT_TRUE(bit_set(m, 0xB5, 0x04));
    EXPECT_FALSE(bit_set(m, 0xB4, 0x02));
    EXPECT_TRUE(bit_set(m, 0x8D, 0x80));
    EXPECT_FALSE(bit_set(m, 0xB3, 0x02));
    EXPECT_FALSE(bit_set(m, 0xBA, 0x02));
    EXPECT_FALSE(bit_set(m, 0xBB, 0x04));
}

TEST_F(ConfigTransfer, LevelNeedingAnotherVariantAsksFirst) {
    build(false);
    read_configuration();
    select_vehicle(250, 1272, true);  // Tesla S; level 250 needs variant B, the module runs A

    answer_questions(false);
    mark_frames();
    write_configuration();
    EXPECT_EQ(questions_asked, 1);
    EXPECT_TRUE(frames_since_mark().empty()) << "declined: nothing is written";
    EXPECT_EQ(message_window, nullptr);
    EXPECT_EQ(device_can_level, 3) << "the module keeps its level, and the field stays red";

    // Yes, but no firmware folder beside the program: the level waits for the variant.
    answer_questions(true);
    write_configuration();
    EXPECT_EQ(questions_asked, 2);
    EXPECT_EQ(count_frames(frames_since_mark(), 0x06), 0);
    EXPECT_EQ(device_can_level, 3);
}

TEST_F(ConfigTransfer, LevelsTheHeaderCannotHoldAreRefused) {
    build(false);
    read_configuration();
    for (const char* level : {"-1", "257", "-3"}) {
        close_message_window();
        set_can_level_text(level);
        mark_frames();
        write_configuration();
        EXPECT_TRUE(frames_since_mark().empty()) << level;
        EXPECT_EQ(message_window_texts(),
                  std::vector<std::string>({"", message_text(MSG_SAVE_ERROR), "", "", "OK", "", ""}))
            << level;
        EXPECT_EQ(device_can_level, 3) << level;
    }
}

// Level 0 (the catalogue's Caterpillar 3408E) and level 256 (a module whose byte is
// 0xFF) are both the byte 0xFF.
TEST_F(ConfigTransfer, Levels0And256AreWrittenAsByte0xFF) {
    build(false);
    read_configuration();
    const struct {
        const char* level;
        int number;  // 256 has no catalogue row
    } cases[] = {{"0", 816}, {"256", 0}};
    for (const auto& c : cases) {
        module->memory()[0x01] = 0x02;
        select_vehicle(0, 816, true);
        set_can_level_text(c.level);
        write_configuration();
        EXPECT_EQ(message_window, nullptr) << c.level;
        EXPECT_EQ(module->memory()[0x01], 0xFF) << c.level;
        EXPECT_EQ(module->memory()[0x05] * 256 + module->memory()[0x06], c.number) << c.level;
    }
}

TEST_F(ConfigTransfer, LostOrRefusedAcknowledgeEndsTheWriteWithMessage38) {
    for (bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "refused" : "lost");
        close_message_window();
        build(false);
        read_configuration();
        set_row_signal(PIN_J2_10, LOCK);
        if (refused) {
            module->refuse_writes(1);
        } else {
            module->lose_replies(1);
        }
        mark_frames();
        write_configuration();
        ASSERT_NE(message_window, nullptr);
        const std::vector<std::string> texts = message_window_texts();
        EXPECT_NE(std::find(texts.begin(), texts.end(), "Configuration file save error."), texts.end());
        const std::vector<SimFrame> frames = frames_since_mark();
        ASSERT_EQ(frames.size(), 1u) << "only the first block went out";
        EXPECT_EQ(frames[0].command, 0x06);
        EXPECT_EQ(frames[0].data[0], 0x81);
        EXPECT_FALSE(list_marked(signal_lists[PIN_J2_10])) << "references were updated before sending";
    }
}

TEST_F(ConfigTransfer, AcknowledgeOnTheTwentiethPollStillCounts) {
    build(false);
    read_configuration();
    backend->frames = 0;
    backend->hold_after_frame = {{1, 19}};
    mark_frames();
    write_configuration();
    EXPECT_EQ(message_window, nullptr);
    EXPECT_EQ(backend->polls_swallowed, 19);
    EXPECT_EQ(frames_since_mark().back().command, 0x09);

    backend->frames = 0;
    backend->hold_after_frame = {{1, 20}};
    mark_frames();
    write_configuration();
    const std::vector<std::string> texts = message_window_texts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Configuration file save error."), texts.end());
    EXPECT_EQ(count_frames(frames_since_mark(), 0x06), 1);
    EXPECT_EQ(count_frames(frames_since_mark(), 0x09), 0);
}

TEST_F(ConfigTransfer, ReadReplyOnTheNineteenthPollStillCounts) {
    build(false);
    backend->frames = 0;
    backend->hold_after_frame = {{1, 18}};
    read_configuration();
    EXPECT_EQ(message_window, nullptr);
    EXPECT_STREQ(can_level_text(), "3");

    build(false);
    backend->frames = 0;
    backend->hold_after_frame = {{1, 19}};
    read_configuration();
    const std::vector<std::string> texts = message_window_texts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Configuration load error."), texts.end());
    EXPECT_STREQ(can_level_text(), "29") << "nothing was shown";
}

TEST_F(ConfigTransfer, ReadFailureInThePinAreaKeepsTheOldRows) {
    build(false);
    read_configuration();
    set_row_signal(PIN_J2_10, LOCK);
    module->memory()[0x01] = 31 - 1;
    module->memory()[0x8A] = 0x01;  // J2-11 would show UNLOCK
    backend->frames = 0;
    backend->hold_after_frame = {{3, 19}};  // the second pin block gets no answer
    read_configuration();
    const std::vector<std::string> texts = message_window_texts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Configuration load error."), texts.end());
    EXPECT_STREQ(can_level_text(), "31") << "the header was shown";
    EXPECT_EQ(row_signal(PIN_J2_10), LOCK) << "the rows were not";
    EXPECT_EQ(row_signal(PIN_J2_11), 0);
}

TEST_F(ConfigTransfer, WithoutAModuleReadAndWriteReportTheirErrors) {
    build(false);
    link_close();
    read_configuration();
    std::vector<std::string> texts = message_window_texts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Configuration load error."), texts.end());
    set_can_level_text("3");
    write_configuration();
    texts = message_window_texts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Configuration file save error."), texts.end());
}

}  // namespace
