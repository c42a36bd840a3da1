// Remote access figures: a configuration read, a configuration write and a full
// firmware flash through qv450-relay and the tool's relay, on the same functions the
// program runs locally, against the same work done locally (the module open on both
// sides); the read again with 50 ms added each way between operator and server; and the
// memory of one relay server holding 1,000 idle paired sessions.
#include <asio.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "config/config_memory.h"
#include "config/memory_blocks.h"
#include "device/link.h"
#include "firmware/bootloader.h"
#include "net/relay.h"
#include "operator/operator_link.h"
#include "operator/relay_link.h"
#include "platform/clock.h"
#include "relay/relay_server.h"
#include "sim/sim_backend.h"
#include "sim/sim_firmware_image.h"

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

long resident_kib() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

// The configuration read as the editor's Load does it: header, then the pin area.
bool read_config(FrameLink& link) {
    int level = 0, number = 0;
    ConfigImage image = blank_image();
    return read_config_header(link, &level, &number) && read_pin_area(link, &image);
}

// The configuration write as the editor's Save does it, up to command 0x09.
bool write_config(FrameLink& link) {
    const bool written = write_pin_area(link, default_image()) && write_can_level(link, 3) &&
                         write_vehicle_number(link, 0);
    finish_configuration(link);
    return written;
}

// The firmware update's bootloader sequence; the link is closed afterwards, as the
// update does, and opened again once the module has restarted.
bool flash(FrameLink& link, const FirmwareImage& image) {
    const bool programmed = program_firmware(link, image, FlashProgress()) == FlashResult::PROGRAMMED;
    link.close();
    for (int look = 0; look < 50 && link.open() != 1; ++look) platform::sleep_ms(100);
    return programmed;
}

template <typename Work>
double timed(const char* what, Work work) {
    const auto start = std::chrono::steady_clock::now();
    if (!work()) {
        std::fprintf(stderr, "%s failed\n", what);
        std::exit(1);
    }
    return seconds_since(start);
}

// Forwards connections to a port on loopback with a delay added each way, as a long
// network path between the operator and the relay server would.
class DelayPath {
public:
    DelayPath(int target_port, std::chrono::milliseconds delay)
        : acceptor_(io_, asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), 0)),
          target_port_(target_port), delay_(delay) {
        accept();
        thread_ = std::thread([this] { io_.run(); });
    }
    ~DelayPath() {
        io_.stop();
        thread_.join();
    }
    int port() const { return acceptor_.local_endpoint().port(); }

private:
    struct Pair {
        explicit Pair(asio::io_context& io) : near(io), far(io) {}
        asio::ip::tcp::socket near, far;
    };
    // One direction: what is read waits its delay, then goes out in order.
    struct Direction : std::enable_shared_from_this<Direction> {
        Direction(std::shared_ptr<Pair> pair, asio::ip::tcp::socket& from, asio::ip::tcp::socket& to,
                  std::chrono::milliseconds delay)
            : pair(std::move(pair)), from(from), to(to), timer(from.get_executor()), delay(delay) {}
        void read() {
            from.async_read_some(asio::buffer(buffer), [self = shared_from_this()](std::error_code ec, size_t n) {
                if (ec) return;
                self->queue.emplace_back(std::chrono::steady_clock::now() + self->delay, std::string(self->buffer, n));
                if (self->queue.size() == 1) self->write_next();
                self->read();
            });
        }
        void write_next() {
            if (queue.empty()) return;
            timer.expires_at(queue.front().first);
            timer.async_wait([self = shared_from_this()](std::error_code) {
                asio::async_write(self->to, asio::buffer(self->queue.front().second),
                                  [self](std::error_code ec, size_t) {
                                      if (ec) return;
                                      self->queue.pop_front();
                                      self->write_next();
                                  });
            });
        }
        std::shared_ptr<Pair> pair;
        asio::ip::tcp::socket& from;
        asio::ip::tcp::socket& to;
        asio::steady_timer timer;
        std::chrono::milliseconds delay;
        std::deque<std::pair<std::chrono::steady_clock::time_point, std::string>> queue;
        char buffer[16384];
    };

    void accept() {
        auto pair = std::make_shared<Pair>(io_);
        acceptor_.async_accept(pair->near, [this, pair](std::error_code ec) {
            if (ec) return;
            pair->far.connect(asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), uint16_t(target_port_)));
            pair->near.set_option(asio::ip::tcp::no_delay(true));
            pair->far.set_option(asio::ip::tcp::no_delay(true));
            std::make_shared<Direction>(pair, pair->near, pair->far, delay_)->read();
            std::make_shared<Direction>(pair, pair->far, pair->near, delay_)->read();
            accept();
        });
    }

    asio::io_context io_;
    asio::ip::tcp::acceptor acceptor_;
    int target_port_;
    std::chrono::milliseconds delay_;
    std::thread thread_;
};

// A paired session with the module open at the tool: this thread is the operator, a
// thread of its own is the tool, stepping as the main loop does.
class RemoteSide {
public:
    explicit RemoteSide(int operator_port) : link_(connection_) {
        OperatorSecurity plain_text;
        plain_text.insecure = true;  // a loopback server without a certificate
        connection_.set_security(plain_text);
        std::string code, error;
        if (!connection_.open("127.0.0.1:" + std::to_string(operator_port), "bench", "", &code, &error) ||
            relay_login(tool_relay_, code) != LOGIN_OK) {
            std::fprintf(stderr, "open: %s\n", error.c_str());
            std::exit(1);
        }
        tool_ = std::thread([this] {
            while (!stop_) {
                platform::sleep_ms(uint64_t(relay_pause_ms(tool_relay_)));  // the main loop's pause before each relay step
                relay_step(tool_relay_);
            }
        });
        if (!connection_.wait_paired(&error) || link_.open() != 1) {
            std::fprintf(stderr, "pairing: %s\n", error.c_str());
            std::exit(1);
        }
    }
    ~RemoteSide() {
        link_.flush();
        stop_ = true;
        tool_.join();
        relay_disconnect(tool_relay_);
    }
    RelayLink& link() { return link_; }

private:
    RelayState tool_relay_{local_link(), relay_serial_port(), relay_firmware_image()};
    OperatorLink connection_;
    RelayLink link_;
    std::atomic<bool> stop_{false};
    std::thread tool_;
};

int connect_to(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? fd : -1;
}

void idle_sessions(int count) {
    RelayOptions options;
    options.bind_address = "127.0.0.1";
    options.tool_port = options.operator_port = 0;
    options.operator_token = "bench";
    options.max_connections_per_address = options.max_logins_per_address = 1 << 20;  // all from loopback
    RelayServer server(options, nullptr);
    std::string error;
    if (!server.start(&error)) return;
    long before = resident_kib();
    std::vector<int> fds;
    char buffer[64];
    for (int i = 0; i < count; ++i) {
        int op = connect_to(server.operator_port());
        send(op, "OPEN bench\n", 11, 0);
        std::string answer;
        while (answer.find('\n') == std::string::npos) {
            server.run_once(1);
            ssize_t n = recv(op, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0) answer.append(buffer, size_t(n));
        }
        int tool = connect_to(server.tool_port());
        std::string line = answer.substr(5, 8) + "\n";
        send(tool, line.data(), line.size(), 0);
        while (recv(tool, buffer, 2, MSG_DONTWAIT) <= 0) server.run_once(1);
        fds.push_back(op);
        fds.push_back(tool);
    }
    for (int i = 0; i < 20; ++i) server.run_once(1);
    RelayServer::Stats stats = server.stats();
    // The server's own cost: one byte each way through it, against a direct loopback pair.
    constexpr int TRIPS = 2000;
    auto trip_start = std::chrono::steady_clock::now();
    for (int i = 0; i < TRIPS; ++i) {
        send(fds[0], "@", 1, 0);
        while (recv(fds[1], buffer, 1, MSG_DONTWAIT) <= 0) server.run_once(0);
        send(fds[1], "@", 1, 0);
        while (recv(fds[0], buffer, 1, MSG_DONTWAIT) <= 0) server.run_once(0);
    }
    double relayed_us = seconds_since(trip_start) * 1e6 / TRIPS;
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(listener, 1);
    socklen_t length = sizeof a;
    getsockname(listener, reinterpret_cast<sockaddr*>(&a), &length);
    int left = connect_to(ntohs(a.sin_port));
    int right = accept(listener, nullptr, nullptr);
    trip_start = std::chrono::steady_clock::now();
    for (int i = 0; i < TRIPS; ++i) {
        send(left, "@", 1, 0);
        recv(right, buffer, 1, 0);
        send(right, "@", 1, 0);
        recv(left, buffer, 1, 0);
    }
    double direct_us = seconds_since(trip_start) * 1e6 / TRIPS;
    close(left);
    close(right);
    close(listener);
    std::printf("round trip with 1,000 idle sessions open: through the server %.0f us, direct %.0f us "
                "(the server adds %.0f us against a relay step of 20,000 us)\n",
                relayed_us, direct_us, relayed_us - direct_us);
    long after = resident_kib();
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 100; ++i) server.run_once(0);
    double round_ms = seconds_since(start) * 1000 / 100;
    std::printf("idle sessions: %zu paired, %zu connections, %zu bytes buffered; server memory +%ld KiB "
                "(%.2f KiB per session; floor: bounded, < 4 KiB); one poll round %.2f ms\n",
                stats.paired, stats.connections, stats.buffered, after - before, double(after - before) / count,
                round_ms);
    for (int fd : fds) close(fd);
}

}  // namespace

int main() {
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);

    SimModule module;
    SimBackend backend(module, true);
    install_hid_backend(&backend);
    auto image = std::make_unique<FirmwareImage>();
    const std::vector<uint8_t> file = make_sim_firmware_file(100352, SimFirmwareIdentity(), 0x04, 0x50);
    std::memcpy(image->bytes, file.data(), file.size());
    image->size = int(file.size());

    // Local, the module open.
    FrameLink& local = local_link();
    local.open();
    const double local_read_s = timed("local read", [&] { return read_config(local); });
    const double local_write_s = timed("local write", [&] { return write_config(local); });
    const double local_flash_s = timed("local flash", [&] { return flash(local, *image); });
    local.close();

    // Remote, through a relay server on loopback, the module open at the tool.
    RelayOptions options;
    options.bind_address = "127.0.0.1";
    options.tool_port = options.operator_port = 0;
    options.operator_token = "bench";
    options.max_connections_per_address = options.max_logins_per_address = 1 << 20;  // all from loopback
    RelayServer server(options, nullptr);
    std::string error;
    if (!server.start(&error)) return 1;
    setenv("QV450_RELAY_SERVER", ("127.0.0.1:" + std::to_string(server.tool_port())).c_str(), 1);
    std::atomic<bool> stop{false};
    std::thread serving([&] {
        while (!stop) server.run_once(5);
    });
    double remote_read_s, remote_write_s, remote_flash_s, delayed_read_s;
    {
        RemoteSide remote(server.operator_port());
        remote_read_s = timed("remote read", [&] { return read_config(remote.link()); });
        remote_write_s = timed("remote write", [&] { return write_config(remote.link()) && remote.link().flush(); });
        remote_flash_s = timed("remote flash", [&] { return flash(remote.link(), *image); });
    }
    constexpr int DELAY_MS = 50;
    {
        DelayPath path(server.operator_port(), std::chrono::milliseconds(DELAY_MS));
        RemoteSide remote(path.port());
        delayed_read_s = timed("delayed remote read", [&] { return read_config(remote.link()); });
    }
    stop = true;
    serving.join();

    // The tool does the same module work as the local side (its "@R" ends with the empty
    // poll that the local side spends on its drain before each command), and each relay
    // step adds the tool's main-loop pause of 20 ms; the pin area's three requests go
    // ahead together in one step, so the header and the pin area cost a step each.
    const int blocks = 1 + PIN_AREA_BLOCK_COUNT;
    std::printf("configuration read: local %.3f s, remote %.3f s, ratio %.2f (goal <= 1.05)\n", local_read_s,
                remote_read_s, remote_read_s / local_read_s);
    std::printf("configuration write: local %.3f s, remote %.3f s, ratio %.2f (goal <= 1.05)\n", local_write_s,
                remote_write_s, remote_write_s / local_write_s);
    std::printf("firmware flash (100352 bytes): local %.2f s, remote %.2f s, ratio %.2f (goal <= 1.05)\n",
                local_flash_s, remote_flash_s, remote_flash_s / local_flash_s);
    std::printf("configuration read with %d ms added each way: %.3f s, local %.3f s; over local %.3f s against "
                "%d memory blocks x %d ms round trip = %.3f s (goal: at most that)\n",
                DELAY_MS, delayed_read_s, local_read_s, delayed_read_s - local_read_s, blocks, 2 * DELAY_MS,
                blocks * 2 * DELAY_MS / 1000.0);
    idle_sessions(1000);
    install_hid_backend(nullptr);
    return 0;
}
