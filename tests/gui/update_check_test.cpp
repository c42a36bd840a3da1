// The update check from start-up and from the Tools menu, against Debian's nginx and
// scripted servers: the progress window, the question, the download into the private
// folder and the installer's start.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "gui/gui_test_support.h"
#include "net/update_check.h"
#include "platform/installer.h"
#include "settings/settings.h"
#include "ui/dialogs.h"
#include "unit/http_servers.h"
#include "unit/temp_folder.h"

namespace {

// What the dialogs and windows showed while a check ran, and how they were answered.
struct Observed {
    bool answer_yes = false;
    std::vector<std::string> question;
    std::vector<std::string> messages;  // message boxes closed while the check waited
    std::string progress_title;
    bool progress_resizable = true, progress_deletable = true;
    std::string opened;
    bool can_open = true;
    int exit_code = -1;
};
Observed* observed = nullptr;

bool exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

bool record_open(const char* path) {
    observed->opened = path;
    return observed->can_open;
}
void record_exit(int code) { observed->exit_code = code; }
const InstallerLaunch recording_launch{record_open, record_exit};

// The first label with text in a window.
std::string first_text(GtkWidget* window) {
    for (const std::string& text : label_texts(window))
        if (!text.empty()) return text;
    return "";
}

gboolean answer_windows(gpointer) {
    for (GtkWidget* window : visible_toplevels()) {
        if (GTK_IS_DIALOG(window)) {
            observed->question = {first_text(window)};
            gtk_dialog_response(GTK_DIALOG(window), observed->answer_yes ? GTK_RESPONSE_ACCEPT : GTK_RESPONSE_NONE);
            return TRUE;
        }
        if (window == message_window) {
            observed->messages.push_back(first_text(window));
            close_message_window();
            return TRUE;
        }
        if (!find_widgets(window, GTK_TYPE_PROGRESS_BAR).empty()) {
            observed->progress_title = gtk_window_get_title(GTK_WINDOW(window));
            observed->progress_resizable = gtk_window_get_resizable(GTK_WINDOW(window));
            observed->progress_deletable = gtk_window_get_deletable(GTK_WINDOW(window));
        }
    }
    return TRUE;
}

class UpdateCheck : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_GUI();
        observed = &seen;
        setenv("XDG_CACHE_HOME", cache.path().c_str(), 1);
        setenv("USERPROFILE", cache.path().c_str(), 1);  // where the settings are saved
        set_installer_launch(&recording_launch);
        answering = g_timeout_add(20, answer_windows, nullptr);
        settings.check_updates_at_startup = 1;
        windows_before = visible_toplevels().size();
    }
    void TearDown() override {
        if (answering) g_source_remove(answering);
        set_installer_launch(nullptr);
        close_message_window();
        unsetenv("QV450_UPDATE_SERVER");
        unsetenv("XDG_CACHE_HOME");
        unsetenv("USERPROFILE");
        settings.check_updates_at_startup = 1;
        observed = nullptr;
    }
    void serve(const std::string& host) { setenv("QV450_UPDATE_SERVER", host.c_str(), 1); }
    std::string installer_name() const {
        char name[128];
        platform::installer_file_name(name, sizeof name, 2, 5);
        return name;
    }
    std::string installer_path() const { return cache.file("qv450/" + installer_name()); }
    std::string shown_message() const {
        return message_window ? first_text(message_window) : "";
    }

    Observed seen;
    TempFolder cache;
    guint answering = 0;
    size_t windows_before = 0;  // earlier tests may leave windows open
};

TEST_F(UpdateCheck, FlagOffAsksNobody) {
    ScriptedServer server({"HTTP/1.0 200 OK\r\nContent-Length: 14\r\n\r\nVERSION 2.5.3\n"});
    serve(server.host());
    settings.check_updates_at_startup = 0;
    EXPECT_EQ(check_for_updates(), nullptr);
    EXPECT_TRUE(seen.progress_title.empty());
    EXPECT_EQ(visible_toplevels().size(), windows_before);
}

TEST_F(UpdateCheck, ABuildWithoutAServerChecksOnlyFromTheMenu) {
    if (*QV450_UPDATE_SERVER_DEFAULT) GTEST_SKIP() << "this build names an update server";
    EXPECT_EQ(check_for_updates(), nullptr);
    EXPECT_TRUE(seen.progress_title.empty()) << "no check at start-up";
    g_source_remove(answering);  // the message must stay for the test to read
    answering = 0;
    settings.check_updates_at_startup = 0;
    toggle_update_check();
    EXPECT_EQ(shown_message(), "Cannot find update server.");
}

TEST_F(UpdateCheck, OfferedVersionIsDownloadedIntoThePrivateFolderAndStarted) {
    NginxServer nginx;
    ASSERT_TRUE(nginx.start());
    nginx.put("programator/QV450_version", "VERSION 2.5.3\n");
    const std::string installer(100000, 'i');
    nginx.put("programator/" + installer_name(), installer);
    serve(nginx.host());
    seen.answer_yes = true;

    EXPECT_EQ(check_for_updates(), nullptr);  // only when the test's exit returns
    ASSERT_FALSE(seen.question.empty());
    EXPECT_EQ(seen.question[0], "Version 2.5.0 is available.\nDo you want to download latest version?");
    EXPECT_EQ(seen.messages, std::vector<std::string>{"Program installer will start. Press OK."});
    EXPECT_EQ(seen.opened, installer_path());
    EXPECT_EQ(seen.exit_code, 0);
    EXPECT_TRUE(TempFolder::read_path(installer_path()) == installer);
    struct stat st {};
    ASSERT_EQ(stat(cache.file("qv450").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(seen.progress_title, "Checking for updates...");
    EXPECT_FALSE(seen.progress_resizable);
    EXPECT_FALSE(seen.progress_deletable);
    process_pending_events();
    EXPECT_EQ(visible_toplevels().size(), windows_before);

    // Nothing on the desktop opens it: the tool says where it is and runs on.
    seen = Observed{true};
    seen.can_open = false;
    EXPECT_STREQ(check_for_updates(), ("Error opening file " + installer_path() + " !").c_str());
    EXPECT_EQ(seen.exit_code, -1);
}

TEST_F(UpdateCheck, MenuSaysLatestVersionOnlyWhenItIs) {
    NginxServer nginx;
    ASSERT_TRUE(nginx.start());
    nginx.put("programator/QV450_version", "VERSION 2.4.9\n");
    serve(nginx.host());
    settings.check_updates_at_startup = 0;
    ASSERT_NE(answering, 0u);
    g_source_remove(answering);  // the message must stay for the test to read
    answering = 0;
    toggle_update_check();
    EXPECT_EQ(settings.check_updates_at_startup, 1);
    EXPECT_EQ(shown_message(), "You have the latest version of program.");
    close_message_window();

    // Declining an offered version is not being up to date: nothing more is said.
    nginx.put("programator/QV450_version", "VERSION 3.0.0\n");
    answering = g_timeout_add(20, answer_windows, nullptr);
    settings.check_updates_at_startup = 0;
    toggle_update_check();
    EXPECT_EQ(seen.question[0], "Version 3.0.0 is available.\nDo you want to download latest version?");
    EXPECT_EQ(message_window, nullptr);
    EXPECT_TRUE(seen.opened.empty());
    EXPECT_FALSE(exists(installer_path()));
}

TEST_F(UpdateCheck, ABrokenServerGetsItsMessageAndNothingStarts) {
    ScriptedServer server({"HTTP/1.0 200 OK\r\ncontent-length: 14\r\n\r\nVERSION 2.5.3\n"});
    serve(server.host());
    EXPECT_STREQ(check_for_updates(), "Update check error.");
    serve("127.0.0.1:" + std::to_string(free_loopback_port()));
    EXPECT_STREQ(check_for_updates(), "Cannot connect to server");
    serve("bad host name");
    EXPECT_STREQ(check_for_updates(), "Cannot find update server.");
    EXPECT_TRUE(seen.opened.empty());
    EXPECT_TRUE(seen.question.empty());
}

}  // namespace
