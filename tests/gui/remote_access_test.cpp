// The remote-access window: login against a scripted relay server on loopback, the
// main loop's relay branch, and closing back to the device search.
#include "net/remote_access.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/app.h"
#include "diag/event_log.h"
#include "gui/gui_test_support.h"
#include "net/relay.h"
#include "sim/sim_backend.h"
#include "ui/dialogs.h"
#include "unit/fresh_link.h"

namespace {

// A relay server that takes one tool: reads its line, answers, then records what the
// tool sends and passes on what the test queues.
class ScriptedRelayServer {
public:
    explicit ScriptedRelayServer(const std::string& answer) : answer_(answer) {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener_, 1);
        socklen_t length = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~ScriptedRelayServer() {
        stop_ = true;
        thread_.join();
        close(listener_);
    }
    int port() const { return port_; }
    void queue(const std::string& bytes) {
        std::lock_guard<std::mutex> lock(mutex_);
        outbox_ += bytes;
    }
    std::string received() {
        std::lock_guard<std::mutex> lock(mutex_);
        return received_;
    }
    bool peer_closed() const { return peer_closed_; }

private:
    void serve() {
        pollfd p{listener_, POLLIN, 0};
        while (!stop_ && poll(&p, 1, 20) == 0) {
        }
        if (stop_) return;
        int fd = accept(listener_, nullptr, nullptr);
        bool answered = false;
        while (!stop_) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (answered && !outbox_.empty()) {
                    send(fd, outbox_.data(), outbox_.size(), MSG_NOSIGNAL);
                    outbox_.clear();
                }
            }
            pollfd q{fd, POLLIN, 0};
            if (poll(&q, 1, 10) <= 0) continue;
            char buffer[4096];
            ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                peer_closed_ = true;
                break;
            }
            std::lock_guard<std::mutex> lock(mutex_);
            received_.append(buffer, size_t(n));
            if (!answered && received_.find('\n') != std::string::npos) {
                send(fd, answer_.data(), answer_.size(), MSG_NOSIGNAL);
                answered = true;
            }
        }
        close(fd);
    }

    std::string answer_;
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> peer_closed_{false};
    std::mutex mutex_;
    std::string outbox_, received_;
};

class RemoteAccessWindow : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_GUI();
        install_hid_backend(&backend);
        start_with_fresh_link();
        connection_state = SEARCHING;
        build_main_window(nullptr);
        gtk_widget_show(main_window.window);
    }
    void TearDown() override {
        close_remote_access_window();
        end_main_window_session();
        unsetenv("QV450_RELAY_SERVER");
    }
    void use_server(int port) { setenv("QV450_RELAY_SERVER", ("127.0.0.1:" + std::to_string(port)).c_str(), 1); }
    void connect_with(const char* password) {
        gtk_entry_set_text(GTK_ENTRY(remote_access_entry()), password);
        gtk_button_clicked(GTK_BUTTON(remote_access_toggle()));
    }
    bool toggle_active() { return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(remote_access_toggle())); }
    std::string toggle_caption() { return gtk_button_get_label(GTK_BUTTON(remote_access_toggle())); }
    // The message window's text: its first non-empty label (its button says "OK").
    std::string message() {
        if (message_window)
            for (const std::string& label : label_texts(message_window))
                if (!label.empty()) return label;
        return "";
    }
    bool run_until(const std::function<bool()>& done) {
        for (int i = 0; i < 200 && !done(); ++i) main_loop_pass();
        return done();
    }

    SimModule module;
    SimBackend backend{module, false};
};

TEST_F(RemoteAccessWindow, OpensInPlaceOfTheMainWindow) {
    open_remote_access_window();
    ASSERT_NE(remote_access_window(), nullptr);
    EXPECT_TRUE(remote_access_active());
    EXPECT_FALSE(gtk_widget_get_visible(main_window.window));
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(remote_access_window())), "Remote access");
    EXPECT_EQ(toggle_caption(), "Connect");
    EXPECT_STREQ(remote_access_status_text(), "");
    GtkWidget* first = remote_access_window();
    open_remote_access_window();  // a second request changes nothing
    EXPECT_EQ(remote_access_window(), first);
}

TEST_F(RemoteAccessWindow, ARefusedLoginSaysSoAndReleasesTheServer) {
    ScriptedRelayServer server("NO");
    use_server(server.port());
    open_remote_access_window();
    connect_with("12345678");
    // The relay answers a wrong or an expired code alike: the fitter hears both.
    EXPECT_EQ(message().rfind("Login failed.\n", 0), 0u) << message();
    EXPECT_NE(message().find("expired"), std::string::npos) << message();
    EXPECT_FALSE(toggle_active());
    EXPECT_EQ(remote_access_relay().socket, nullptr);
    for (int i = 0; i < 100 && server.received() != "12345678\n@!"; ++i) usleep(10000);
    EXPECT_EQ(server.received(), "12345678\n@!");
}

TEST_F(RemoteAccessWindow, NoServerListeningCannotConnect) {
    ScriptedRelayServer* server = new ScriptedRelayServer("OK");
    int port = server->port();
    delete server;  // nobody listens there any more
    use_server(port);
    open_remote_access_window();
    connect_with("1");
    EXPECT_EQ(message(), "Cannot connect to server");
    EXPECT_FALSE(toggle_active());
}

TEST_F(RemoteAccessWindow, LoggedInRelaysAndClosingGoesBackToTheDeviceSearch) {
    ScriptedRelayServer server("OK");
    use_server(server.port());
    open_remote_access_window();
    const std::string password(38, '7');  // the longest the login line holds
    connect_with(password.c_str());
    ASSERT_TRUE(toggle_active());
    EXPECT_EQ(toggle_caption(), "Disconnect");
    EXPECT_STREQ(remote_access_server_text(), "Connected to Velmora server.");
    server.queue("@H");
    EXPECT_TRUE(run_until([&] { return server.received() == password + "\n@1"; })) << server.received();
    EXPECT_STREQ(remote_access_status_text(), "Remote access active (M).");
    close_remote_access_window();
    EXPECT_EQ(remote_access_window(), nullptr);
    EXPECT_FALSE(remote_access_active());
    EXPECT_TRUE(gtk_widget_get_visible(main_window.window));
    for (int i = 0; i < 100 && !server.peer_closed(); ++i) usleep(10000);
    EXPECT_EQ(server.received(), password + "\n@1@!");
    EXPECT_TRUE(run_until([] { return connection_state == CONNECTED; }));
}

TEST_F(RemoteAccessWindow, EventTextsGoToTheOperatorInsteadOfTheLog) {
    ScriptedRelayServer server("OK");
    use_server(server.port());
    open_remote_access_window();
    connect_with("1");
    server.queue("@H");
    ASSERT_TRUE(run_until([&] { return server.received() == "1\n@1"; })) << server.received();
    module.queue_event_text("1* DOOR opened\r\n");
    server.queue("@R");
    // An R frame: "@R", its count, reply code 0xFF, the text and the checksum.
    EXPECT_TRUE(run_until([&] { return server.received().find("\xFF" "1* DOOR opened") != std::string::npos; }))
        << server.received();
    EXPECT_EQ(event_log.log_end, 0);
    close_remote_access_window();
    module.queue_event_text("1* DOOR closed\r\n");
    EXPECT_TRUE(run_until([] { return std::strstr(event_log.log_text, "1* DOOR closed") != nullptr; }))
        << "back in the main window, event texts are logged again";
}

// Gone in the middle of a flash, the session leaves a module without firmware: the
// fitter hears it, and how to program the module again.
TEST_F(RemoteAccessWindow, TheServerLeavingDisconnectsButKeepsTheWindow) {
    const std::string block = "@E6" + std::string(1, 1028 >> 8) + std::string(1, 1028 & 0xFF) + std::string(1028, 'b');
    const struct {
        const char* name;
        std::vector<std::string> stream;  // what the operator sent, each awaiting its answer
        const char* message;
    } cases[] = {{"idle", {}, ""}, {"during a flash", {"@H", block}, "no working firmware"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        close_message_window();
        std::unique_ptr<ScriptedRelayServer> server(new ScriptedRelayServer("OK"));
        use_server(server->port());
        open_remote_access_window();
        connect_with("1");
        ASSERT_TRUE(toggle_active());
        for (const std::string& command : c.stream) {
            const size_t before = server->received().size();
            server->queue(command);
            EXPECT_TRUE(run_until([&] { return server->received().size() > before; })) << command.substr(0, 3);
        }
        server.reset();
        EXPECT_TRUE(run_until([&] { return !toggle_active(); }));
        EXPECT_EQ(toggle_caption(), "Connect");
        EXPECT_NE(remote_access_window(), nullptr);
        if (*c.message) {
            EXPECT_NE(message().find(c.message), std::string::npos) << message();
        } else {
            EXPECT_EQ(message(), "");
        }
        close_remote_access_window();
    }
}

}  // namespace
