// The main loop, pass by pass, against the simulated module on virtual time.
#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "app/app.h"
#include "config/config_editor.h"
#include "device/module_link.h"
#include "firmware/autoflash.h"
#include "gui/gui_test_support.h"
#include "i18n/message_ids.h"
#include "i18n/messages.h"
#include "platform/clock.h"
#include "sim/sim_backend.h"
#include "support/time_limit.h"
#include "ui/dialogs.h"
#include "unit/fresh_link.h"

namespace {

std::string label_text(GtkWidget* label) { return gtk_label_get_text(GTK_LABEL(label)); }

bool contains(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

class MainLoop : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_GUI();
        start(SimSettings());
    }
    void TearDown() override {
        stop_capturing_message_windows();
        end_main_window_session();
        advanced_view = 0;
    }
    void start(const SimSettings& settings) {
        backend.reset();
        module.reset(new SimModule(settings));
        backend.reset(new SimBackend(*module));
        install_hid_backend(backend.get());
        start_with_fresh_link();
        connection_state = SEARCHING;
        if (!main_window.window) {
            build_main_window(nullptr);
            gtk_widget_show(main_window.window);
        }
    }
    bool run_until(const std::function<bool()>& done, int max_passes = 20) {
        for (int i = 0; i < max_passes; ++i) {
            if (done()) return true;
            main_loop_pass();
        }
        return done();
    }
    bool connect() {
        return run_until([] { return connection_state == CONNECTED; });
    }
    std::string status() { return label_text(main_window.status_label); }

    platform::ScopedVirtualClock clock;
    std::unique_ptr<SimModule> module;
    std::unique_ptr<SimBackend> backend;
};

TEST_F(MainLoop, ConnectsThroughHandshakeAndIdentification) {
    main_loop_pass();
    EXPECT_EQ(connection_state, HANDSHAKE);
    EXPECT_EQ(status(), message_text(MSG_PLEASE_WAIT));
    main_loop_pass();  // nothing to read yet; the handshake command goes out
    EXPECT_EQ(connection_state, HANDSHAKE);
    main_loop_pass();
    EXPECT_EQ(connection_state, IDENTIFYING);
    ASSERT_TRUE(connect());
    EXPECT_EQ(status(), "QV450-1605");
    EXPECT_TRUE(config_editor_exists());
    EXPECT_EQ(device_identity.model, 450);
    EXPECT_EQ(device_identity.variant_letter, 'A');
    EXPECT_EQ(module->received[0].command, 0x01);
    // The connected editor reads the configuration right after the identity.
    ASSERT_GE(module->received.size(), 3u);
    EXPECT_EQ(module->received[module->received.size() - 5].command, 0x04);
    EXPECT_EQ(module->received.back().command, 0x05);
}

TEST_F(MainLoop, WindowTitleAndSize) {
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(main_window.window)), "Velmora programmer QV450 v.2.4.0");
    int width = 0, height = 0;
    gtk_widget_get_size_request(main_window.scrolled, &width, &height);
    EXPECT_EQ(width, 880);  // the test display is 1280 x 1024
    EXPECT_EQ(height, 675);
    EXPECT_FALSE(gtk_window_get_resizable(GTK_WINDOW(main_window.window)));
}

TEST_F(MainLoop, SearchesWhileNoModuleIsThere) {
    module->unplug();
    const uint64_t before = clock.now_ms();
    main_loop_pass();
    EXPECT_EQ(connection_state, SEARCHING);
    EXPECT_EQ(status(), "Searching for device...");
    EXPECT_EQ(clock.now_ms() - before, 100u + 40u + 5u);
}

TEST_F(MainLoop, AModuleThisUserMayNotOpenIsNamedUntilItCanBeOpened) {
    backend->refuse_access("/dev/hidraw2");
    main_loop_pass();
    main_loop_pass();
    EXPECT_EQ(connection_state, SEARCHING);
    EXPECT_EQ(status(), "A QV450 module is attached, but this user may not open it.");
    EXPECT_NE(label_text(main_window.info_label).find("udev rule"), std::string::npos);
    EXPECT_NE(label_text(main_window.info_label).find("(/dev/hidraw2)"), std::string::npos);
    backend->refuse_access("");
    ASSERT_TRUE(connect());
    EXPECT_EQ(status(), "QV450-1605");
    EXPECT_EQ(label_text(main_window.info_label), "");
}

TEST_F(MainLoop, UnplugTearsTheEditorDownAndReplugReconnects) {
    ASSERT_TRUE(connect());
    gtk_label_set_text(GTK_LABEL(main_window.info_label), "info");
    module->unplug();
    main_loop_pass();  // the failed poll closes the device
    main_loop_pass();
    EXPECT_EQ(connection_state, SEARCHING);
    EXPECT_EQ(status(), "Searching for device...");
    EXPECT_EQ(label_text(main_window.info_label), "");
    EXPECT_FALSE(config_editor_exists());

    module->replug();
    ASSERT_TRUE(connect());
    EXPECT_EQ(status(), "QV450-1605");
    EXPECT_TRUE(config_editor_exists());
}

// The reply record outlives the module: a handshake or identity reply kept from
// before the unplugging must not move a silent module on.
TEST_F(MainLoop, ASilentModuleAfterReplugStaysInTheHandshake) {
    for (bool identified : {false, true}) {
        SCOPED_TRACE(identified ? "identity kept" : "handshake kept");
        link_close();
        start(SimSettings());
        ASSERT_TRUE(run_until([] { return connection_state == IDENTIFYING; }));
        if (identified) {
            module->lose_replies(1000000);  // the identity is on its way; nothing after it
            ASSERT_TRUE(connect());
            ASSERT_EQ(local_link().reply().bytes[1], 0x08);
            close_message_window();
        }
        module->unplug();
        ASSERT_TRUE(run_until([] { return connection_state == SEARCHING; }));
        module->lose_replies(1000000);
        module->replug();
        for (int pass = 0; pass < 10; ++pass) main_loop_pass();
        EXPECT_EQ(connection_state, HANDSHAKE);
        EXPECT_EQ(status(), message_text(MSG_PLEASE_WAIT));
        EXPECT_FALSE(config_editor_exists());
    }
}

TEST_F(MainLoop, LostRepliesAreRepeatedUntilAnswered) {
    module->lose_replies(3);
    ASSERT_TRUE(connect());
    EXPECT_EQ(status(), "QV450-1605");
}

TEST_F(MainLoop, AnotherModelGetsTheIncompatibleFirmwareWindow) {
    SimSettings settings;
    settings.model = 451;
    start(settings);
    capture_and_close_message_window();
    ASSERT_TRUE(run_until([] { return !captured_texts.empty(); }));
    EXPECT_TRUE(contains(captured_texts, "Program will not work with this firmware version.\n(0451-1605/255-255)."));
    EXPECT_TRUE(contains(captured_texts, "Exit program"));
    EXPECT_TRUE(contains(captured_texts, "Change firmware"));
    EXPECT_EQ(connection_state, IDENTIFYING);
    EXPECT_FALSE(config_editor_exists());
    EXPECT_EQ(message_window, nullptr);
}

TEST_F(MainLoop, ModelBytesDashAndSpaceAreAccepted) {
    SimSettings settings;
    settings.model_as_dash = true;
    start(settings);
    ASSERT_TRUE(connect());
    EXPECT_EQ(status(), "QV450-1605");
}

TEST_F(MainLoop, BootloaderGetsTheNotProgrammedWindowThenTheDeviceIsClosed) {
    SimSettings settings;
    settings.programmed = false;
    start(settings);
    capture_and_close_message_window();
    main_loop_pass();
    EXPECT_TRUE(contains(captured_texts, "Device is not programmed properly\nSelect firmware file."));
    EXPECT_TRUE(contains(captured_texts, "Program"));
    EXPECT_TRUE(contains(captured_texts, "Enable remote access"));
    EXPECT_FALSE(link_is_open());
    EXPECT_EQ(connection_state, SEARCHING);
}

GdkEventKey key_event(guint keyval, guint state) {
    GdkEventKey event{};
    event.type = GDK_KEY_PRESS;
    event.keyval = keyval;
    event.state = state;
    return event;
}

TEST_F(MainLoop, ControlShiftESwitchesTheViewAndRebuildsTheEditor) {
    GdkEventKey upper = key_event(GDK_E, GDK_CONTROL_MASK | GDK_SHIFT_MASK);
    EXPECT_FALSE(on_view_key(nullptr, &upper, nullptr)) << "no editor yet: nothing happens";
    EXPECT_EQ(advanced_view, 0);

    ASSERT_TRUE(connect());
    GdkEventKey lower = key_event(GDK_e, GDK_CONTROL_MASK);
    EXPECT_FALSE(on_view_key(nullptr, &lower, nullptr)) << "Ctrl+E without Shift";
    EXPECT_EQ(advanced_view, 0);
    EXPECT_TRUE(link_is_open());

    EXPECT_TRUE(on_view_key(nullptr, &upper, nullptr));
    EXPECT_EQ(advanced_view, 1);
    EXPECT_FALSE(link_is_open());
    main_loop_pass();
    EXPECT_FALSE(config_editor_exists());
    ASSERT_TRUE(connect());
    EXPECT_TRUE(config_editor_exists());
}

gboolean cancel_file_chooser(gpointer) {
    for (GtkWidget* window : visible_toplevels()) {
        if (!GTK_IS_FILE_CHOOSER_DIALOG(window)) continue;
        gtk_dialog_response(GTK_DIALOG(window), GTK_RESPONSE_CANCEL);
        return FALSE;
    }
    return TRUE;  // not shown yet
}

TEST_F(MainLoop, OtherKeysAreLeftToTheWindow) {
    // A chooser nobody answers would hold the run: it fails here, by name.
    limit_this_test(15);
    const GdkEventKey others[] = {
        key_event(GDK_a, 0),
        key_event(GDK_e, GDK_CONTROL_MASK),
        key_event(GDK_s, 0),
        key_event(GDK_f, GDK_CONTROL_MASK),  // needs one of Mod1..Mod4 as well
        key_event(GDK_F, GDK_MOD1_MASK),
    };
    for (GdkEventKey event : others) {
        EXPECT_FALSE(on_view_key(nullptr, &event, nullptr));
        EXPECT_FALSE(on_autoflash_key(nullptr, &event, nullptr));
        EXPECT_FALSE(on_console_key(nullptr, &event, nullptr));
    }
    GdkEventKey console = key_event(GDK_S, GDK_CONTROL_MASK | GDK_SHIFT_MASK);
    EXPECT_TRUE(on_console_key(nullptr, &console, nullptr));
    GdkEventKey autoflash = key_event(GDK_f, GDK_CONTROL_MASK | GDK_MOD1_MASK);
    // The chord opens the AUTOFLASH folder chooser: cancel it as the user would.
    g_timeout_add(20, cancel_file_chooser, nullptr);
    EXPECT_TRUE(on_autoflash_key(nullptr, &autoflash, nullptr));
    EXPECT_FALSE(autoflash_folder_set());
}

// Another link to the same simulated module, as the relay link is to the fitter's:
// counts the polls that went through it.
class ForwardingLink final : public FrameLink {
public:
    int open() override { return local_link().open(); }
    void close() override { local_link().close(); }
    bool is_open() const override { return local_link().is_open(); }
    int mode() const override { return local_link().mode(); }
    void send_frame(uint8_t command, const uint8_t* data, int n) override { local_link().send_frame(command, data, n); }
    bool poll_frame() override { return ++polls, local_link().poll_frame(); }
    bool boot_send(const uint8_t* data, int count) override { return local_link().boot_send(data, count); }
    bool boot_read(int attempts) override { return local_link().boot_read(attempts); }
    const ReplyRecord& reply() const override { return local_link().reply(); }
    int polls = 0;
};

TEST_F(MainLoop, WorksOnTheChosenLinkWithoutAutoflash) {
    ForwardingLink forwarding;
    set_module_link(&forwarding);
    ASSERT_TRUE(connect());
    EXPECT_GT(forwarding.polls, 0);
    EXPECT_TRUE(config_editor_exists());
    capture_and_close_message_window();
    GdkEventKey autoflash = key_event(GDK_f, GDK_CONTROL_MASK | GDK_MOD1_MASK);
    EXPECT_TRUE(on_autoflash_key(nullptr, &autoflash, nullptr));
    ASSERT_TRUE(run_until([] { return !captured_texts.empty(); }));
    EXPECT_TRUE(std::any_of(captured_texts.begin(), captured_texts.end(), [](const std::string& text) {
        return text.rfind("AUTOFLASH is not available on a remote module", 0) == 0;
    }));
    EXPECT_FALSE(autoflash_folder_set());
    set_module_link(nullptr);
}

}  // namespace
