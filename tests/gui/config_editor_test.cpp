// The configuration editor: vehicle selector and CAN level rule, layout of both views,
// the pin rows' role rules and red marks.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/app.h"
#include "config/config_editor.h"
#include "config/config_transfer.h"
#include "config/pin_rows.h"
#include "config/vehicle_selector.h"
#include "gui/editor_test_support.h"
#include "gui/gui_test_support.h"
#include "ui/dialogs.h"
#include "ui/widgets.h"
#include "unit/fresh_link.h"

namespace {

constexpr int NONE = 0;
constexpr int LOCK = 1;
constexpr int UNLOCK = 2;
constexpr int SEND_LOCK = 21;

bool visible(GtkWidget* widget) { return gtk_widget_get_visible(widget) != FALSE; }

GtkWidget* make_list() { return vehicle_selector.make_list; }
GtkWidget* model_list() { return vehicle_selector.model_list; }

void type_level(const char* text) { set_can_level_text(text); }

bool has(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

// The share of a widget's area, as drawn, that is the mark's red.
double red_share(GtkWidget* widget) {
    process_pending_events();
    gdk_window_process_all_updates();
    GdkPixmap* pixmap = gtk_widget_get_snapshot(widget, nullptr);
    if (!pixmap) return -1;
    int width = 0, height = 0;
    gdk_drawable_get_size(pixmap, &width, &height);
    GdkPixbuf* pixbuf = gdk_pixbuf_get_from_drawable(nullptr, pixmap, nullptr, 0, 0, 0, 0, width, height);
    g_object_unref(pixmap);
    const int stride = gdk_pixbuf_get_rowstride(pixbuf);
    const int channels = gdk_pixbuf_get_n_channels(pixbuf);
    int red = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const guchar* p = gdk_pixbuf_get_pixels(pixbuf) + y * stride + x * channels;
            red += p[0] > 200 && p[1] < 60 && p[2] < 60;
        }
    }
    g_object_unref(pixbuf);
    return width > 0 && height > 0 ? double(red) / (width * height) : -1;
}

// The title row: the hbox that holds the "Pin:" label.
GtkWidget* title_row(GtkWidget* editor) {
    for (GtkWidget* label : find_widgets(editor, GTK_TYPE_LABEL))
        if (std::string(gtk_label_get_text(GTK_LABEL(label))) == "Pin:") return gtk_widget_get_parent(label);
    return nullptr;
}

int first_child_width(GtkWidget* row) {
    GList* children = gtk_container_get_children(GTK_CONTAINER(row));
    int width = -2;
    if (children) gtk_widget_get_size_request(GTK_WIDGET(children->data), &width, nullptr);
    g_list_free(children);
    return width;
}

using ConfigEditor = EditorTest;

TEST_F(ConfigEditor, NewEditorShowsAcuraTsxWithLevel29RedUntilTheFirstRead) {
    build(false);
    EXPECT_EQ(active_text(make_list()), "Acura");
    EXPECT_EQ(list_texts(model_list()), std::vector<std::string>{"TSX  year 2004-2008"});
    EXPECT_EQ(active_position(model_list()), 0);
    EXPECT_STREQ(can_level_text(), "29");
    EXPECT_EQ(catalogue_level, 29);
    EXPECT_TRUE(can_level_field_marked());
    EXPECT_EQ(list_texts(make_list()).size(), 56u);

    read_configuration();
    EXPECT_EQ(message_window, nullptr);
    EXPECT_STREQ(can_level_text(), "3");
    EXPECT_EQ(active_text(make_list()), "Audi");
    EXPECT_EQ(active_text(model_list()), "A1 8X year 2010->");
    EXPECT_FALSE(can_level_field_marked());
}

TEST_F(ConfigEditor, TypedLevelsMoveTheSelectionToTheLevelsFirstVehicle) {
    build(false);
    type_level("3");
    EXPECT_EQ(active_text(make_list()), "Audi");
    EXPECT_EQ(active_text(model_list()), "A1 8X year 2010->");
    EXPECT_EQ(catalogue_level, 3);

    type_level("31");
    EXPECT_EQ(catalogue_level, 31);
    EXPECT_EQ(active_text(make_list()), "Honda");
    type_level("3");
    EXPECT_EQ(active_text(model_list()), "A1 8X year 2010->");

    for (const char* no_level : {"0", "", "abc"}) {
        type_level(no_level);
        EXPECT_EQ(active_text(make_list()), "Audi") << '"' << no_level << '"';
        EXPECT_EQ(active_text(model_list()), "A1 8X year 2010->");
    }
    EXPECT_STREQ(can_level_text(), "abc") << "the field keeps what was typed";

    type_level("255");
    EXPECT_EQ(active_position(make_list()), -1);
    EXPECT_TRUE(list_texts(model_list()).empty());
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(vehicle_selector.note_label)), "");
    EXPECT_STREQ(can_level_text(), "255");
    EXPECT_TRUE(can_level_field_marked());
    EXPECT_EQ(selected_vehicle_number(), 0);
}

TEST_F(ConfigEditor, ChoosingAModelWritesItsLevelNotItsAlternativeLevel) {
    build(false);
    choose_text(make_list(), "Citroen");
    EXPECT_STREQ(can_level_text(), "10") << "the make's first model";
    choose_text(model_list(), "C3  year 2016->");
    EXPECT_STREQ(can_level_text(), "144");
    EXPECT_EQ(selected_vehicle_number(), 1169);
    EXPECT_EQ(active_text(make_list()), "Citroen") << "the level rule kept the choice";
}

TEST_F(ConfigEditor, SelectingByNumberFindsTheRowAndItsNote) {
    build(false);
    select_vehicle(110, 17, true);  // Audi A3 8P 2003-2008 under its alternative level
    EXPECT_EQ(active_text(model_list()), "A3 8P year 2003-2008");
    EXPECT_STREQ(can_level_text(), "110");
    EXPECT_EQ(catalogue_level, 110);
    EXPECT_EQ(selected_vehicle_number(), 17);
    EXPECT_TRUE(set_level_flag);

    select_vehicle(6, 73, false);  // Audi A4 8E 2004-2008, note N1
    EXPECT_EQ(active_text(model_list()), "A4 8E year 2004-2008");
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(vehicle_selector.note_label)), "After facelift. (FL)");
    EXPECT_STREQ(can_level_text(), "110") << "the field was left alone";
    EXPECT_EQ(catalogue_level, 6);
}

TEST_F(ConfigEditor, TitleRowOfEachView) {
    build(false);
    std::vector<std::string> texts = label_texts(title_row(config_editor_box()));
    EXPECT_TRUE(has(texts, "Signal:"));
    EXPECT_TRUE(has(texts, "I/O type:"));
    EXPECT_FALSE(has(texts, "Inv:"));
    EXPECT_FALSE(has(texts, "Sig.Trigger:"));
    EXPECT_EQ(first_child_width(title_row(config_editor_box())), 100);

    build(true);
    texts = label_texts(title_row(config_editor_box()));
    EXPECT_TRUE(has(texts, "Inv:"));
    EXPECT_TRUE(has(texts, "Sig.Trigger:"));
    EXPECT_EQ(first_child_width(title_row(config_editor_box())), 25);
}

TEST_F(ConfigEditor, RowsButtonsAndPinLabels) {
    build(false);
    const std::vector<std::string> texts = label_texts(config_editor_box());
    for (const char* text : {"J1-3: ORANGE", "J2-5: VIOLET/BLACK", "J2-12: WHITE/BLACK", "CAN1 level:",
                             "Signal monitor", "Default settings", "Load", "Save"})
        EXPECT_TRUE(has(texts, text)) << text;
    for (int pin = 0; pin < PIN_COUNT; ++pin) {
        EXPECT_EQ(active_position(signal_lists[pin]), NONE);
        EXPECT_TRUE(visible(signal_lists[pin]));
        EXPECT_FALSE(visible(inversion_boxes[pin]));
        EXPECT_FALSE(visible(io_lists[pin]));
        EXPECT_FALSE(visible(trigger_lists[pin]));
        EXPECT_EQ(list_texts(trigger_lists[pin]).size(), 31u);
    }
    destroy_config_editor();
    EXPECT_FALSE(pin_rows_exist());
    EXPECT_EQ(row_signal(PIN_J2_2), 0) << "no rows: nothing to read, nothing to crash";
    set_row_signal(PIN_J2_2, LOCK);
    EXPECT_STREQ(can_level_text(), "");
    mark_frames();
    write_configuration();
    EXPECT_TRUE(frames_since_mark().empty()) << "no rows: nothing to write over the module's configuration";
    EXPECT_EQ(message_window, nullptr);
}

TEST_F(ConfigEditor, CompactViewOffersOneEntryPerRoleOnLimitedPins) {
    build(false);
    choose(signal_lists[PIN_J2_2], SEND_LOCK);
    EXPECT_EQ(list_texts(io_lists[PIN_J2_2]), std::vector<std::string>{"Input-"});
    choose(signal_lists[PIN_J2_2], LOCK);
    EXPECT_EQ(list_texts(io_lists[PIN_J2_2]), std::vector<std::string>{"Output+"});
    choose(signal_lists[PIN_J2_6], SEND_LOCK);
    EXPECT_EQ(list_texts(io_lists[PIN_J2_6]), (std::vector<std::string>{"Input+", "Input-"}));
    EXPECT_FALSE(visible(inversion_boxes[PIN_J2_6]));
}

TEST_F(ConfigEditor, J1PinsOfferInsensitiveLists) {
    build(true);
    choose(signal_lists[PIN_J1_3], LOCK);
    EXPECT_EQ(list_texts(io_lists[PIN_J1_3]), std::vector<std::string>{"Output+ (max 5A)"});
    EXPECT_FALSE(gtk_widget_get_sensitive(io_lists[PIN_J1_3]));
    choose(signal_lists[PIN_J1_3], SEND_LOCK);
    EXPECT_EQ(list_texts(io_lists[PIN_J1_3]),
              (std::vector<std::string>{"Input+ (no pull-down)", "Input+ (pull-down 2mA)", "Input+ (pull-down 16mA)"}));
    EXPECT_FALSE(gtk_widget_get_sensitive(io_lists[PIN_J1_3]));
    EXPECT_EQ(active_position(io_lists[PIN_J1_3]), 0);
}

TEST_F(ConfigEditor, OutputIoChoiceSurvivesAnotherOutputSignalOnly) {
    build(true);
    choose(signal_lists[PIN_J2_6], LOCK);
    choose(io_lists[PIN_J2_6], 5);
    EXPECT_EQ(active_text(io_lists[PIN_J2_6]), "Output- (max 16mA)");
    choose(signal_lists[PIN_J2_6], UNLOCK);
    EXPECT_EQ(active_position(io_lists[PIN_J2_6]), 5);
    choose(signal_lists[PIN_J2_6], SEND_LOCK);
    EXPECT_EQ(active_text(io_lists[PIN_J2_6]), "Input+ (no pull-down)");

    choose(signal_lists[PIN_J2_12], SEND_LOCK);
    choose(io_lists[PIN_J2_12], 4);
    EXPECT_EQ(active_text(io_lists[PIN_J2_12]), "Input- (pull-up 64mA)");
    choose(signal_lists[PIN_J2_12], LOCK);
    EXPECT_EQ(list_texts(io_lists[PIN_J2_12]).size(), 4u);
    EXPECT_EQ(active_position(io_lists[PIN_J2_12]), 0);
}

TEST_F(ConfigEditor, FiatTxOnlyOnThePinsThatOfferIt) {
    build(false);
    const std::vector<std::string> j2_7 = list_texts(signal_lists[PIN_J2_7]);
    ASSERT_EQ(j2_7.size(), 34u);
    EXPECT_EQ(j2_7[0], "none");
    EXPECT_EQ(j2_7[32], "Fiat_TX");
    EXPECT_EQ(j2_7[33], "REVERSE_LIGHT");
    const std::vector<std::string> j2_3 = list_texts(signal_lists[PIN_J2_3]);
    EXPECT_EQ(j2_3.size(), 33u);
    EXPECT_FALSE(has(j2_3, "Fiat_TX"));
    EXPECT_EQ(j2_3[32], "REVERSE_LIGHT");
}

TEST_F(ConfigEditor, WhatEachViewShowsForASignal) {
    for (bool advanced : {false, true}) {
        build(advanced);
        for (int pin = 0; pin < PIN_COUNT; ++pin) {
            SCOPED_TRACE(testing::Message() << "pin " << pin << " advanced " << advanced);
            choose(signal_lists[pin], LOCK);
            EXPECT_EQ(visible(trigger_lists[pin]), advanced);
            EXPECT_EQ(visible(inversion_boxes[pin]), advanced);
            EXPECT_TRUE(visible(io_lists[pin]));
            choose(signal_lists[pin], SEND_LOCK);
            EXPECT_FALSE(visible(trigger_lists[pin]));
            EXPECT_EQ(visible(inversion_boxes[pin]), advanced);
            choose(signal_lists[pin], NONE);
            EXPECT_FALSE(visible(trigger_lists[pin]));
            EXPECT_FALSE(visible(inversion_boxes[pin]));
            EXPECT_FALSE(visible(io_lists[pin]));
        }
    }
}

TEST_F(ConfigEditor, ChangedChoicesTurnRedAndBackWhenUndone) {
    build(true);
    read_configuration();
    for (int pin = 0; pin < PIN_COUNT; ++pin) {
        EXPECT_FALSE(list_marked(signal_lists[pin])) << pin;
        if (row_signal(pin) == NONE) continue;
        EXPECT_FALSE(list_marked(io_lists[pin])) << pin;
        EXPECT_FALSE(inversion_box_marked(inversion_boxes[pin])) << pin;
    }

    // J2-10 had nothing: a new signal is red, and so is its I/O choice (reference -1).
    choose(signal_lists[PIN_J2_10], LOCK);
    EXPECT_TRUE(list_marked(signal_lists[PIN_J2_10]));
    EXPECT_TRUE(list_marked(io_lists[PIN_J2_10]));
    choose(signal_lists[PIN_J2_10], NONE);
    EXPECT_FALSE(list_marked(signal_lists[PIN_J2_10]));

    // J2-3 carries LOCK: inversion box, I/O and trigger each mark and unmark.
    gtk_button_clicked(GTK_BUTTON(inversion_boxes[PIN_J2_3]));
    EXPECT_TRUE(row_inverted(PIN_J2_3));
    EXPECT_TRUE(inversion_box_marked(inversion_boxes[PIN_J2_3]));
    gtk_button_clicked(GTK_BUTTON(inversion_boxes[PIN_J2_3]));
    EXPECT_FALSE(inversion_box_marked(inversion_boxes[PIN_J2_3]));

    // What reaches the screen, not only the style.
    gtk_button_clicked(GTK_BUTTON(inversion_boxes[PIN_J2_3]));
    EXPECT_GT(red_share(inversion_boxes[PIN_J2_3]), 0.5);
    gtk_button_clicked(GTK_BUTTON(inversion_boxes[PIN_J2_3]));
    EXPECT_EQ(red_share(inversion_boxes[PIN_J2_3]), 0.0);

    choose(io_lists[PIN_J2_3], 2);
    EXPECT_TRUE(list_marked(io_lists[PIN_J2_3]));
    choose(io_lists[PIN_J2_3], 0);
    EXPECT_FALSE(list_marked(io_lists[PIN_J2_3]));

    choose(trigger_lists[PIN_J2_3], 30);
    EXPECT_TRUE(list_marked(trigger_lists[PIN_J2_3]));
    choose(trigger_lists[PIN_J2_3], 8);
    EXPECT_FALSE(list_marked(trigger_lists[PIN_J2_3]));

    choose(signal_lists[PIN_J2_3], UNLOCK);
    EXPECT_TRUE(list_marked(signal_lists[PIN_J2_3]));
    EXPECT_FALSE(list_marked(io_lists[PIN_J2_3])) << "the I/O choice was kept";
    choose(signal_lists[PIN_J2_3], LOCK);
    EXPECT_FALSE(list_marked(signal_lists[PIN_J2_3]));
}

TEST_F(ConfigEditor, TypedLevelIsRedWhileItDiffersFromTheModules) {
    build(false);
    read_configuration();
    type_level("4");
    EXPECT_TRUE(can_level_field_marked());
    type_level("3");
    EXPECT_FALSE(can_level_field_marked());
}

}  // namespace

namespace {

// The whole connection sequence builds the editor and reads the module into it.
TEST(ConfigEditorAfterConnection, ShowsTheModulesVehicleAndLevel) {
    REQUIRE_GUI();
    platform::ScopedVirtualClock clock;
    SimModule module;
    module.memory()[0x01] = 110 - 1;
    module.memory()[0x06] = 17;
    SimBackend backend(module);
    install_hid_backend(&backend);
    start_with_fresh_link();
    connection_state = SEARCHING;
    device_can_level = 0;
    build_main_window(nullptr);
    gtk_widget_show(main_window.window);
    for (int pass = 0; pass < 20 && connection_state != CONNECTED; ++pass) main_loop_pass();

    EXPECT_TRUE(config_editor_exists());
    EXPECT_EQ(active_text(vehicle_selector.model_list), "A3 8P year 2003-2008");
    EXPECT_STREQ(can_level_text(), "110");
    EXPECT_FALSE(can_level_field_marked());
    EXPECT_EQ(active_text(signal_lists[PIN_J1_4]), "SEND_HAZARD_LIGHTS");
    EXPECT_EQ(message_window, nullptr);

    end_main_window_session();
    form_label_width = DEFAULT_FORM_LABEL_WIDTH;
}

}  // namespace
