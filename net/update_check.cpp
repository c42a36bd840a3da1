// The update check's window and dialogs around the network steps of update_client.
#include "net/update_check.h"

#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>

#include "i18n/message_ids.h"
#include "i18n/messages.h"
#include "net/update_client.h"
#include "net/update_toggle.h"
#include "platform/clock.h"
#include "platform/installer.h"
#include "platform/private_folder.h"
#include "settings/settings.h"
#include "ui/dialogs.h"

namespace {

constexpr int BAR_WIDTH = 400;
constexpr int BAR_HEIGHT = 40;
constexpr int BAR_BORDER = 5;

const InstallerLaunch desktop_launch{platform::open_installer, std::exit};
const InstallerLaunch* launch = &desktop_launch;

bool check_running = false;

void handle_pending_events() {
    while (gtk_events_pending()) gtk_main_iteration();
}

gboolean refuse_close(GtkWidget*, GdkEvent*, gpointer) { return TRUE; }

// The progress window: centred, fixed size, no close button; exists only while a
// check runs and is destroyed on every way out.
class ProgressWindow {
public:
    ProgressWindow() {
        window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_title(GTK_WINDOW(window_), message_text(MSG_CHECKING_FOR_UPDATES));
        gtk_window_set_position(GTK_WINDOW(window_), GTK_WIN_POS_CENTER_ALWAYS);
        gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
        gtk_window_set_deletable(GTK_WINDOW(window_), FALSE);
        g_signal_connect(window_, "delete-event", G_CALLBACK(refuse_close), nullptr);
        bar_ = gtk_progress_bar_new();
        gtk_widget_set_size_request(bar_, BAR_WIDTH, BAR_HEIGHT);
        gtk_container_set_border_width(GTK_CONTAINER(window_), BAR_BORDER);
        gtk_container_add(GTK_CONTAINER(window_), bar_);
        gtk_widget_show(bar_);
    }
    ~ProgressWindow() { gtk_widget_destroy(window_); }
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    void show() { gtk_widget_show(window_); }
    void hide() { gtk_widget_hide(window_); }

    UpdateProgress progress() {
        UpdateProgress p;
        p.set = [](void* self, double fraction, int message_id) {
            static_cast<ProgressWindow*>(self)->set(fraction, message_id);
        };
        p.pump = [](void*) { pump(); };
        p.events = [](void*) { handle_pending_events(); };
        p.context = this;
        return p;
    }
    void set(double fraction, int message_id = 0) {
        gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(bar_), fraction < 0 ? 0 : fraction > 1 ? 1 : fraction);
        if (message_id) gtk_progress_bar_set_text(GTK_PROGRESS_BAR(bar_), message_text(message_id));
    }
    static void pump() {
        platform::sleep_ms(10);
        handle_pending_events();
    }

private:
    GtkWidget* window_ = nullptr;
    GtkWidget* bar_ = nullptr;
};

// Tells the two outcomes without a text apart: the menu says "latest version" only
// when it is true.
enum class Outcome { MESSAGE, UP_TO_DATE, DECLINED };

Outcome run_check(const char** text) {
    *text = nullptr;
    ProgressWindow window;
    window.set(0, MSG_GETTING_ADDRESS);
    window.show();
    ProgressWindow::pump();

    UpdateSession session;
    session.progress = window.progress();
    if (!update_server_from_environment(&session.server)) {
        *text = message_text(MSG_CANNOT_FIND_SERVER);
        return Outcome::MESSAGE;
    }
    OfferedVersion offered;
    if (const int failure = query_version(session, &offered)) {
        *text = message_text(failure);
        return Outcome::MESSAGE;
    }
    if (!is_other_version(offered)) return Outcome::UP_TO_DATE;

    offered.patch = 0;
    window.hide();
    char question[512];
    std::snprintf(question, sizeof question, message_text(MSG_VERSION_AVAILABLE), offered.major, offered.minor,
                  offered.patch);
    if (!ask_question(nullptr, question)) return Outcome::DECLINED;

    window.set(0, MSG_DOWNLOADING);
    window.show();
    ProgressWindow::pump();
    char folder[1024];
    char installer[1200];
    if (!platform::private_cache_folder(folder, sizeof folder)) folder[0] = '\0';
    if (const int failure = download_installer(session, offered, folder, installer, sizeof installer)) {
        *text = message_text(failure);
        return Outcome::MESSAGE;
    }
    platform::sleep_ms(500);
    show_message(message_text(MSG_INSTALLER_WILL_START));
    window.hide();
    while (message_window) {
        handle_pending_events();
        platform::sleep_ms(10);
    }
    if (!launch->open(installer)) {
        // Nothing here installs it: say where it is, and go on running.
        static char saved_at[1400];
        std::snprintf(saved_at, sizeof saved_at, message_text(MSG_ERROR_OPENING_FILE), installer);
        *text = saved_at;
        return Outcome::MESSAGE;
    }
    launch->exit_program(0);
    return Outcome::DECLINED;  // only when a test's exit returns
}

Outcome guarded_check(const char** text) {
    *text = nullptr;
    // A second check from inside the first one's event handling does nothing.
    if (check_running) return Outcome::DECLINED;
    check_running = true;
    const Outcome outcome = run_check(text);
    check_running = false;
    return outcome;
}

}  // namespace

const char* check_for_updates() {
    // A build without an update server would greet every start with "Cannot find
    // update server."; the menu's check still runs and says so.
    if (!settings.check_updates_at_startup || !update_server_configured()) return nullptr;
    const char* text = nullptr;
    guarded_check(&text);
    return text;
}

void toggle_update_check() {
    settings.check_updates_at_startup = settings.check_updates_at_startup ? 0 : 1;
    save_settings();
    if (update_toggle_label) gtk_label_set_text(GTK_LABEL(update_toggle_label), update_toggle_caption());
    if (!settings.check_updates_at_startup) return;
    const char* text = nullptr;
    const Outcome outcome = guarded_check(&text);
    if (outcome == Outcome::MESSAGE) show_message(text);
    if (outcome == Outcome::UP_TO_DATE) show_message(message_text(MSG_LATEST_VERSION));
}

void set_installer_launch(const InstallerLaunch* l) { launch = l ? l : &desktop_launch; }
