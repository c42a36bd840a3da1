// The main loop: GUI events, then one step of the module connection per pass.
#include "app/app.h"

#include <cctype>
#include <string>

#include "config/config_editor.h"
#include "config/config_transfer.h"
#include "config/signal_monitor.h"
#include "device/module_link.h"
#include "firmware/autoflash.h"
#include "i18n/message_ids.h"
#include "i18n/messages.h"
#include "net/relay.h"
#include "net/remote_access.h"
#include "operator/remote_console.h"
#include "platform/clock.h"

namespace {

constexpr int SEARCH_PAUSE_MS = 100;
constexpr int CONNECTED_PAUSE_MS = 5;

void set_label(GtkWidget* label, const char* text) { gtk_label_set_text(GTK_LABEL(label), text); }

std::string capitalised(const char* text) {
    std::string s = text;
    if (!s.empty()) s[0] = char(std::toupper(static_cast<unsigned char>(s[0])));
    return s;
}

// A module is there, but the system does not let this user open it: say so and what
// to do, instead of searching as if there were none.
void show_access_refused(const char* node) {
    set_label(main_window.status_label, (capitalised(MODULE_ACCESS_REFUSED) + ".").c_str());
    set_label(main_window.info_label, (capitalised(MODULE_ACCESS_ADVICE) + " (" + node + ").").c_str());
}

// The module is gone (or never was): back to searching, without its windows.
void show_searching() {
    if (connection_state != SEARCHING) {
        connection_state = SEARCHING;
        destroy_config_editor();
        destroy_signal_monitor();
    }
    set_label(main_window.status_label, message_text(MSG_SEARCHING));
    set_label(main_window.info_label, "");
    set_label(main_window.status_right, "");
}

// Acts on the frame polled this pass. True when the pass ends here: also while the
// poll's answer is still on its way through the relay, so that nothing is sent to the
// module before it and the window keeps answering meanwhile.
bool handle_reply() {
    FrameLink& link = module_link();
    const PollState poll = link.poll_frame_without_waiting();
    if (poll == PollState::ON_ITS_WAY) {
        platform::sleep_ms(CONNECTED_PAUSE_MS);
        return true;
    }
    // Only a reply polled this pass is acted on, never one left from before.
    if (!judge_identification_reply(poll == PollState::FRAME, link.reply(), &connection_state)) return false;
    identify_device();
    return true;
}

void search() {
    FrameLink& link = module_link();
    switch (link.open()) {
    case 1:
        set_label(main_window.status_label, message_text(MSG_PLEASE_WAIT));
        link.poll_frame();
        connection_state = HANDSHAKE;
        break;
    case 2:
        show_not_programmed();
        if (link.is_open()) link.close();
        break;
    default:
        if (*link.refused_node()) show_access_refused(link.refused_node());
        break;
    }
}

// A console's session before the fitter's tool logged in, or after it was lost: no
// module to look for. True when the pass ends here.
bool remote_session_holds() {
    if (!remote_console_active()) return false;
    const std::string lost = remote_console_error();
    if (lost.empty() && remote_console_paired()) return false;
    show_searching();
    const std::string text = lost.empty() ? "Waiting for the fitter's tool to log in" : "Remote session lost: " + lost;
    set_label(main_window.status_label, text.c_str());
    platform::sleep_ms(SEARCH_PAUSE_MS);
    return true;
}

}  // namespace

void identify_device() {
    const ReplyRecord& reply = module_link().reply();
    device_identity = decode_identity(reply);
    char text[512];
    if (device_identity.model == SUPPORTED_MODEL) {
        format_module_status(reply, device_identity, text, sizeof text);
        set_label(main_window.status_label, text);
        connection_state = CONNECTED;
        build_config_editor(main_window.main_box);
        read_configuration();
    } else {
        format_incompatible_text(reply, device_identity, text, sizeof text);
        show_incompatible_firmware(text);
    }
}

void main_loop_pass() {
    while (gtk_events_pending()) gtk_main_iteration();

    if (remote_access_active()) {
        platform::sleep_ms(uint64_t(relay_pause_ms(remote_access_relay())));
        relay_step(remote_access_relay());
        return;
    }
    if (remote_session_holds()) return;
    if (!module_link().is_open()) {
        platform::sleep_ms(SEARCH_PAUSE_MS);
        show_searching();
    }
    if (connection_state >= HANDSHAKE && handle_reply()) return;

    switch (connection_state) {
    case SEARCHING:
        search();
        break;
    case HANDSHAKE:
    case IDENTIFYING:
        ask_identification(module_link(), connection_state);
        break;
    case CONNECTED:
        if (signal_monitor_open()) update_signal_monitor();
        break;
    default:
        break;
    }
    if (autoflash_folder_set() && link_is_open() && !module_link_is_remote()) autoflash_watch();
    platform::sleep_ms(CONNECTED_PAUSE_MS);
}

void run_main_loop() {
    gtk_widget_show(main_window.window);
    for (;;) main_loop_pass();
}
