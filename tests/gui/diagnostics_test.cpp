// The signal monitor, the console, the log view with its file and the log filter,
// driven through the main loop against the simulated module on virtual time.
#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "app/app.h"
#include "config/config_editor.h"
#include "config/signal_monitor.h"
#include "diag/console.h"
#include "diag/console_text.h"
#include "diag/event_log.h"
#include "diag/log_filter.h"
#include "diag/log_filter_window.h"
#include "diag/log_view.h"
#include "gui/chooser_test_support.h"
#include "gui/gui_test_support.h"
#include "platform/clock.h"
#include "settings/settings.h"
#include "sim/sim_backend.h"
#include "ui/dialogs.h"
#include "unit/temp_folder.h"
#include "unit/fresh_link.h"

namespace {

constexpr uint64_t bit(int n) { return uint64_t(1) << n; }

GtkWidget* window_titled(const std::string& title) {
    for (GtkWidget* w : visible_toplevels())
        if (title == gtk_window_get_title(GTK_WINDOW(w))) return w;
    return nullptr;
}

// The colour a widget shows at (x, y), as 0xRRGGBB, once the X server has mapped its
// window: that comes in the server's own time (late on a busy machine), and a snapshot
// taken before it is black.
uint32_t pixel(GtkWidget* widget, int x, int y) {
    for (int waits = 0; waits < 200; ++waits) {
        gdk_display_sync(gdk_display_get_default());
        process_pending_events();
        if (widget->window && gdk_window_is_viewable(widget->window)) break;
        g_usleep(10000);
    }
    GdkPixmap* shot = gtk_widget_get_snapshot(widget, nullptr);
    if (!shot) return 0xFFFFFFFF;
    int width = 0, height = 0;
    gdk_drawable_get_size(shot, &width, &height);
    if (x >= width || y >= height) {
        g_object_unref(shot);
        return 0xFFFFFFFE;
    }
    GdkPixbuf* pixels = gdk_pixbuf_get_from_drawable(nullptr, shot, nullptr, x, y, 0, 0, 1, 1);
    const guchar* p = gdk_pixbuf_get_pixels(pixels);
    const uint32_t rgb = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    g_object_unref(pixels);
    g_object_unref(shot);
    return rgb;
}

std::string view_text() {
    GtkTextBuffer* buffer = log_view_buffer();
    if (!buffer) return "<no view>";
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    gchar* text = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
    std::string result = text;
    g_free(text);
    return result;
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

void log_text(const std::string& text) {
    log_message(LOG_RECEIVED, reinterpret_cast<const uint8_t*>(text.data()), int(text.size()));
}

class Diagnostics : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_GUI();
        module.reset(new SimModule(SimSettings()));
        backend.reset(new SimBackend(*module));
        install_hid_backend(backend.get());
        start_with_fresh_link();
        connection_state = SEARCHING;
        clear_log();
        event_log.line_start_pending = true;
        command_history = CommandHistory();
        saved_settings = settings;
        build_main_window(nullptr);
        gtk_widget_show(main_window.window);
        ASSERT_TRUE(run_until([] { return connection_state == CONNECTED; }));
    }
    void TearDown() override {
        if (!main_window.window) return;
        close_tool_windows();
        close_log_file();
        log_filter = LogFilter();
        settings = saved_settings;
        end_main_window_session();
    }
    bool run_until(const std::function<bool()>& done, int max_passes = 30) {
        for (int i = 0; i < max_passes; ++i) {
            if (done()) return true;
            main_loop_pass();
        }
        return done();
    }
    void passes(int n) {
        for (int i = 0; i < n; ++i) main_loop_pass();
    }
    GtkWidget* cell(int bit) {
        GtkWidget* window = window_titled("Signal monitor");
        return window ? find_widgets(window, GTK_TYPE_BUTTON).at(size_t(bit)) : nullptr;
    }
    uint32_t cell_colour(int bit) { return pixel(cell(bit), 4, 12); }
    void open_console_by_key() {
        GdkEventKey key{};
        key.type = GDK_KEY_PRESS;
        key.keyval = GDK_s;
        key.state = GDK_CONTROL_MASK;
        ASSERT_TRUE(on_console_key(main_window.window, &key, nullptr));
        ASSERT_TRUE(console_open());
        process_pending_events();
    }
    void type(GtkWidget* entry, const char* text) { gtk_entry_set_text(GTK_ENTRY(entry), text); }
    void key(GtkWidget* entry, guint keyval) {
        gtk_widget_grab_focus(entry);
        send_key(console_window.window, keyval);
        process_pending_events();
    }

    platform::ScopedVirtualClock clock;
    std::unique_ptr<SimModule> module;
    std::unique_ptr<SimBackend> backend;
    Settings saved_settings;
};

TEST_F(Diagnostics, MonitorLightsTheCellsOfTheSetBits) {
    open_signal_monitor();
    ASSERT_NE(window_titled("Signal monitor"), nullptr);
    process_pending_events();  // drawn before its pixels are read
    const uint32_t plain = cell_colour(1);
    module->set_signal_map(bit(0) | bit(37));
    passes(4);  // a request, its answer, the next request
    process_pending_events();
    EXPECT_EQ(cell_colour(0), 0xCD0000u) << "LOCK";
    EXPECT_EQ(cell_colour(37), 0x90EE90u) << "REVERSE_LIGHT";
    for (int b : {1, 5, 8, 36, 39}) EXPECT_EQ(cell_colour(b), plain) << b;
    EXPECT_EQ(label_texts(cell(37)).at(0), "REVERSE_LIGHT");

    module->set_signal_map(bit(5));
    passes(4);
    process_pending_events();
    EXPECT_EQ(cell_colour(0), plain) << "back to the default";
    EXPECT_EQ(cell_colour(5), 0x000000u) << "an empty cell turns black";
}

TEST_F(Diagnostics, MonitorIsRaisedWhenOpenAndRebuiltAfterClosing) {
    open_signal_monitor();
    GtkWidget* first = window_titled("Signal monitor");
    ASSERT_NE(first, nullptr);
    open_signal_monitor();
    EXPECT_EQ(window_titled("Signal monitor"), first);
    EXPECT_EQ(visible_toplevels().size(), 2u);
    module->set_signal_map(bit(0));
    passes(4);
    GdkEvent* event = gdk_event_new(GDK_DELETE);
    event->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(first)));
    gtk_main_do_event(event);
    gdk_event_free(event);
    EXPECT_FALSE(signal_monitor_open());
    open_signal_monitor();
    EXPECT_TRUE(signal_monitor_open());
    EXPECT_EQ(find_widgets(window_titled("Signal monitor"), GTK_TYPE_BUTTON).size(), 40u);
    // The new window is drawn once the X server has mapped it: a busy server may take
    // longer than the module's answer.
    EXPECT_TRUE(run_until([this] {
        gdk_display_sync(gdk_display_get_default());
        return cell_colour(0) == 0xCD0000u;
    })) << "a signal set before and after the reopening is lit";
}

TEST_F(Diagnostics, UnpluggingRemovesTheMonitor) {
    open_signal_monitor();
    module->unplug();
    ASSERT_TRUE(run_until([] { return !signal_monitor_open(); }, 3));
    EXPECT_EQ(window_titled("Signal monitor"), nullptr);
    open_signal_monitor();
    EXPECT_FALSE(signal_monitor_open()) << "no module, no monitor";
}

TEST_F(Diagnostics, ToolWindowsCloseBeforeTheModuleIsTakenOver) {
    open_signal_monitor();
    open_console_by_key();
    close_tool_windows();
    EXPECT_FALSE(signal_monitor_open());
    EXPECT_FALSE(console_open());
    EXPECT_EQ(visible_toplevels().size(), 1u);
}

TEST_F(Diagnostics, ConsoleSendsWithEnterAndShowsTheResponse) {
    log_text("1* IGN Ignition on\n");
    open_console_by_key();
    EXPECT_TRUE(has(view_text(), ">1* IGN Ignition on")) << "loaded with the log";
    GtkWidget* view = find_widgets(console_window.window, GTK_TYPE_TEXT_VIEW).at(0);
    g_signal_emit_by_name(view, "insert-at-cursor", "typed");
    EXPECT_FALSE(has(view_text(), "typed")) << "the view is read-only";
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(console_window.response), TRUE);
    type(console_window.command_entry, "4a");
    type(console_window.data_entry, "OK");
    key(console_window.data_entry, GDK_Return);
    EXPECT_EQ(module->received.back().command, 0x4A);
    EXPECT_TRUE(has(view_text(), "<\\x4a OK\r\n")) << view_text();
    EXPECT_TRUE(has(view_text(), ">01 - 4A4F4B - \"JOK\"")) << view_text();
}

TEST_F(Diagnostics, BadCommandTurnsTheEntryRedUntilAGoodOne) {
    open_console_by_key();
    type(console_window.command_entry, "1g");
    console_send();
    GtkRcStyle* style = gtk_widget_get_modifier_style(console_window.command_entry);
    EXPECT_TRUE(style->color_flags[GTK_STATE_NORMAL] & GTK_RC_BASE);
    EXPECT_EQ(style->base[GTK_STATE_NORMAL].red, 0xFFFF);
    EXPECT_EQ(event_log.log_end, 0);
    type(console_window.command_entry, "10");
    console_send();
    style = gtk_widget_get_modifier_style(console_window.command_entry);
    EXPECT_FALSE(style->color_flags[GTK_STATE_NORMAL] & GTK_RC_BASE);
}

TEST_F(Diagnostics, ArrowKeysBrowseTheHistoryAndF8ClearsTheLog) {
    open_console_by_key();
    type(console_window.command_entry, "01");
    console_send();
    type(console_window.command_entry, "02");
    type(console_window.data_entry, "x");
    console_send();
    key(console_window.command_entry, GDK_Up);
    EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(console_window.command_entry)), "01");
    EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(console_window.data_entry)), "");
    key(console_window.data_entry, GDK_Down);
    EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(console_window.command_entry)), "02");
    EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(console_window.data_entry)), "x");

    EXPECT_NE(view_text(), "");
    key(console_window.data_entry, GDK_F8);
    EXPECT_EQ(view_text(), "");
    EXPECT_EQ(event_log.log_end, 0);
}

TEST_F(Diagnostics, HistoryOutlivesTheWindow) {
    open_console_by_key();
    type(console_window.command_entry, "33");
    console_send();
    close_console();
    open_console_by_key();
    EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(console_window.command_entry)), "");
    EXPECT_FALSE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(console_window.response)));
    EXPECT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(console_window.autoscroll)));
    key(console_window.command_entry, GDK_Down);
    key(console_window.command_entry, GDK_Up);
    EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(console_window.command_entry)), "33");
}

TEST_F(Diagnostics, ViewFollowsTheLogThroughItsCut) {
    open_console_by_key();
    const std::string line = "1* DOOR a line of a log that fills up\n";
    int cuts = 0;
    for (int before = 0; cuts < 2; before = event_log.log_end) {
        log_text(line);
        cuts += event_log.log_end < before;
    }
    process_pending_events();
    EXPECT_EQ(view_text(), std::string(event_log.log_text, size_t(event_log.log_end)));

    std::strcpy(settings.filter_tags[0], "IGN");
    log_filter = LogFilter{true, 1, false};
    refilter_view();
    for (int before = 0; cuts < 3; before = event_log.log_end) {
        log_text("1* IGN kept\n");
        cuts += event_log.log_end < before;
    }
    const std::string shown = view_text();
    EXPECT_FALSE(has(shown, "DOOR"));
    EXPECT_TRUE(has(shown.substr(0, 22 + 13), "1* IGN kept\r\n")) << shown.substr(0, 60);
}

GtkAdjustment* log_scroll() {
    GtkWidget* scrolled = find_widgets(console_window.window, GTK_TYPE_SCROLLED_WINDOW).at(0);
    return gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(scrolled));
}

TEST_F(Diagnostics, AutoscrollFollowsTheEndOnlyWhileTicked) {
    open_console_by_key();
    for (int i = 0; i < 200; ++i) log_text("line " + std::to_string(i) + "\n");
    process_pending_events();
    GtkAdjustment* scroll = log_scroll();
    EXPECT_GT(gtk_adjustment_get_value(scroll), 0.0);
    EXPECT_DOUBLE_EQ(gtk_adjustment_get_value(scroll),
                     gtk_adjustment_get_upper(scroll) - gtk_adjustment_get_page_size(scroll));

    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(console_window.autoscroll), FALSE);
    gtk_adjustment_set_value(scroll, 0);
    for (int i = 0; i < 50; ++i) log_text("more\n");
    process_pending_events();
    EXPECT_EQ(gtk_adjustment_get_value(scroll), 0.0);
}

TEST_F(Diagnostics, FilterShowsTheTickedTagsAndSavesTheTexts) {
    log_text("1* IGN on\n");
    log_text("plain\n");
    log_text("1* DOOR open\n");
    open_console_by_key();
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(console_window.filter), TRUE);
    ASSERT_NE(filter_window.window, nullptr);
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(filter_window.window)), "Filter settings");
    type(filter_window.entries[3], "DOOR");
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(filter_window.ticks[3]), TRUE);
    filter_ok();
    EXPECT_EQ(filter_window.window, nullptr);
    EXPECT_TRUE(log_filter.filter_active);
    EXPECT_FALSE(has(view_text(), "IGN"));
    EXPECT_FALSE(has(view_text(), "plain"));
    EXPECT_TRUE(has(view_text(), "1* DOOR open"));
    GtkRcStyle* style = gtk_widget_get_modifier_style(console_window.filter);
    EXPECT_EQ(style->bg[GTK_STATE_ACTIVE].red, 0xFFFF);
    EXPECT_TRUE(has(TempFolder::read_path(gui_test_home() + "/.qv450rc"), std::string("DOOR\0", 5)));

    log_text("1* IGN off\n");
    log_text("1* DOOR closed\n");
    EXPECT_FALSE(has(view_text(), "IGN off"));
    EXPECT_TRUE(has(view_text(), "1* DOOR closed"));

    // Reopened: the texts are back, the ticks are not.
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(console_window.filter), FALSE);
    EXPECT_TRUE(has(view_text(), "IGN off")) << "filter off shows the whole log";
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(console_window.filter), TRUE);
    EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(filter_window.entries[3])), "DOOR");
    EXPECT_FALSE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(filter_window.ticks[3])));
    filter_cancel();
    EXPECT_FALSE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(console_window.filter)));
    EXPECT_FALSE(log_filter.filter_active);
    EXPECT_TRUE(has(view_text(), "plain"));
}

TEST_F(Diagnostics, LogFileButtonAppendsAndStops) {
    TempFolder folder;
    folder.put("run.log", "older\r\n");
    log_text("before\n");
    open_console_by_key();
    EXPECT_EQ(label_texts(console_window.log_file_button).at(0), "Log to file");
    start_answering_choosers();
    chooser_answer.folder = folder.path();
    chooser_answer.name = "run.log";
    toggle_log_file();
    stop_answering_choosers();
    EXPECT_EQ(chooser_answer.title, "Select log file");
    ASSERT_TRUE(log_file_open());
    EXPECT_EQ(label_texts(console_window.log_file_button).at(0), "Stop logging");
    EXPECT_STREQ(settings.log_folder, folder.path().c_str());
    log_text("after\n");
    EXPECT_EQ(folder.get("run.log").substr(0, 7), "older\r\n");
    EXPECT_TRUE(has(folder.get("run.log"), ">before\r\n"));
    EXPECT_TRUE(has(folder.get("run.log"), ">after\r\n"));

    close_console();
    open_console_by_key();
    EXPECT_EQ(label_texts(console_window.log_file_button).at(0), "Stop logging") << "still logging";
    toggle_log_file();
    EXPECT_FALSE(log_file_open());
    EXPECT_EQ(label_texts(console_window.log_file_button).at(0), "Log to file");
}

TEST_F(Diagnostics, LostLogFileStopsLoggingWithAMessage) {
    open_console_by_key();
    std::string path;
    {
        TempFolder folder;
        path = folder.file("gone.log");
        ASSERT_TRUE(open_log_file(path.c_str()));
    }
    log_text("lost\n");
    EXPECT_FALSE(log_file_open());
    ASSERT_NE(message_window, nullptr);
    const std::vector<std::string> texts = label_texts(message_window);
    EXPECT_TRUE(std::find(texts.begin(), texts.end(), "Error writing file " + path + " !") != texts.end());
    EXPECT_EQ(label_texts(console_window.log_file_button).at(0), "Log to file");
}

}  // namespace
