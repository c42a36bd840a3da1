// Remote access figures: a configuration read and a full firmware flash through
// qv450-relay and the tool's relay against the same work done locally, and the memory
// of one relay server holding 1,000 idle paired sessions.
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
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "config/memory_blocks.h"
#include "device/link.h"
#include "firmware/bootloader.h"
#include "net/relay.h"
#include "platform/clock.h"
#include "relay/relay_server.h"
#include "remote/operator_link.h"
#include "remote/remote_commands.h"
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

// The local configuration read: header and the three pin blocks, as the editor's Load.
bool local_read() {
    const MemoryBlock blocks[] = {{HEADER_ADDRESS, HEADER_SIZE}, PIN_AREA_BLOCKS[0], PIN_AREA_BLOCKS[1],
                                  PIN_AREA_BLOCKS[2]};
    for (const MemoryBlock& block : blocks) {
        uint8_t request[2] = {uint8_t(block.address), uint8_t(block.count)};
        send_command(COMMAND_READ_MEMORY, request, 2);
        bool got = false;
        for (int i = 0; i < READ_REPLY_ATTEMPTS && !got; ++i)
            got = poll_frame() && reply_record.bytes[1] == REPLY_MEMORY;
        if (!got) return false;
    }
    return true;
}

// The local flash: the firmware update's own bootloader sequence over the link.
bool local_flash(const std::vector<uint8_t>& bytes) {
    auto image = std::make_unique<FirmwareImage>();
    image->size = int(bytes.size());
    std::memcpy(image->bytes, bytes.data(), bytes.size());
    const bool programmed = program_firmware(*image, FlashProgress()) == FlashResult::PROGRAMMED;
    link_close();
    return programmed;
}

// Runs `work` as the operator of a paired session; this thread is the tool, stepping
// as the main loop does, while the server runs in a thread of its own.
double remote(int operator_port, FILE* out, const std::function<bool(RemoteSession&, std::string*)>& work) {
    OperatorLink link;
    OperatorSecurity plain_text;
    plain_text.insecure = true;  // a loopback server without a certificate
    link.set_security(plain_text);
    std::string code, error;
    if (!link.open("127.0.0.1:" + std::to_string(operator_port), "bench", "", &code, &error) ||
        relay_login(code) != LOGIN_OK) {
        std::fprintf(stderr, "open: %s\n", error.c_str());
        std::exit(1);
    }
    std::atomic<bool> done{false};
    double seconds = 0;
    bool ok = false;
    std::thread op([&] {
        if (link.wait_paired(&error)) {
            RemoteSession session(link, out, out);
            auto start = std::chrono::steady_clock::now();
            ok = work(session, &error);
            seconds = seconds_since(start);
        }
        done = true;
    });
    while (!done) {
        platform::sleep_ms(20);  // the main loop's pause before each relay step
        relay_step();
    }
    op.join();
    relay_disconnect();
    if (!ok) {
        std::fprintf(stderr, "remote: %s\n", error.c_str());
        std::exit(1);
    }
    return seconds;
}

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
    std::vector<uint8_t> image = make_sim_firmware_file(100352, SimFirmwareIdentity(), 0x04, 0x50);

    // Local.
    link_open();
    auto start = std::chrono::steady_clock::now();
    if (!local_read()) return 1;
    double local_read_s = seconds_since(start);
    start = std::chrono::steady_clock::now();
    if (!local_flash(image)) return 1;
    double local_flash_s = seconds_since(start);

    // Remote, through a relay server on loopback.
    RelayOptions options;
    options.bind_address = "127.0.0.1";
    options.tool_port = options.operator_port = 0;
    options.operator_token = "bench";
    RelayServer server(options, nullptr);
    std::string error;
    if (!server.start(&error)) return 1;
    setenv("QV450_RELAY_SERVER", ("127.0.0.1:" + std::to_string(server.tool_port())).c_str(), 1);
    std::atomic<bool> stop{false};
    std::thread serving([&] {
        while (!stop) server.run_once(5);
    });
    std::string path = "/tmp/qv450-bench-firmware.bin";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), long(image.size()));
    FILE* quiet = std::fopen("/dev/null", "w");
    int port = server.operator_port();
    double remote_read_s = remote(port, quiet, [](RemoteSession& s, std::string* e) { return s.run({"read-config"}, e); });
    double remote_flash_s = remote(port, quiet, [&](RemoteSession& s, std::string* e) { return s.run({"flash", path}, e); });
    stop = true;
    serving.join();
    std::remove(path.c_str());
    std::fclose(quiet);

    // The remote read pays the relay's fixed waits: the main loop's 20 ms pause per
    // command block and the empty poll that ends each "@R" collection.
    std::printf("configuration read: local %.3f s, remote %.3f s, ratio %.2f\n", local_read_s, remote_read_s,
                remote_read_s / local_read_s);
    std::printf("firmware flash (100352 bytes): local %.2f s, remote %.2f s, ratio %.2f\n", local_flash_s,
                remote_flash_s, remote_flash_s / local_flash_s);
    idle_sessions(1000);
    install_hid_backend(nullptr);
    return 0;
}
