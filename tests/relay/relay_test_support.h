// Loopback clients for the relay server tests: blocking-free sockets driven together
// with the server's poll loop in one thread, and a fixture that runs a server on
// virtual time.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "relay/relay_server.h"

// Connects to port on `address` (IPv4 or IPv6) from `source` (an address of this host,
// so that tests can speak for many peers: all of 127.0.0.0/8 is loopback); -1 on failure.
int connect_loopback(int port, const char* source = "127.0.0.1", const char* address = "127.0.0.1");

// Sends everything (the kernel buffers are large enough for the tests' sizes).
void send_text(int fd, const std::string& text);

// Runs the server and collects what arrives on fd until `count` bytes came, the peer
// closed, or `rounds` rounds passed. *closed tells whether the peer closed.
std::string receive(RelayServer& server, int fd, size_t count, bool* closed = nullptr, int rounds = 200);

// Runs the server a few rounds.
void pump(RelayServer& server, int rounds = 5);

// The source address 127.x.y.z for peer number n (n below 2^24).
std::string peer_source(uint32_t n);

constexpr char TEST_TOKEN[] = "operator-secret-16";

// A server on 127.0.0.1 with free ports and the default limits, except for a failure
// budget of 3 so that blocks come quickly; its timers run on virtual time. Tests change
// `options` and call SetUp() again for a server of their own.
class RelayServerTest : public ::testing::Test {
protected:
    RelayServerTest();
    ~RelayServerTest() override;
    void SetUp() override;
    int track(int fd) {
        fds.push_back(fd);
        return fd;
    }
    // Closes a tracked descriptor.
    void hang_up(int fd);
    // An operator that opened a session; returns its code.
    std::string open_session(int* op, const char* source = "127.0.0.1");
    std::string tool_login(const std::string& code, int* tool, bool* closed = nullptr,
                           const char* source = "127.0.0.1");
    // An operator and a tool paired through a fresh session.
    void paired(int* op, int* tool);
    // A code that is not `code`.
    static std::string other_code(const std::string& code, int n = 1);
    // The log lines that contain `text`.
    std::vector<std::string> log_lines(const std::string& text);
    void advance_s(double seconds) { clock.get().advance_us(uint64_t(seconds * 1e6)); }

    platform::ScopedVirtualClock clock;
    FILE* log_file = std::tmpfile();
    RelayOptions options;
    std::unique_ptr<RelayServer> server;
    std::vector<int> fds;
};
