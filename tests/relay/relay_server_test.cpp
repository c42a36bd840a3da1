// The relay server on loopback, with its timers on virtual time.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include <cstdlib>
#include <set>

#include "platform/clock.h"
#include "relay/relay_server.h"
#include "relay_test_support.h"

namespace {

const char TOKEN[] = "operator-secret";

class RelayServerTest : public ::testing::Test {
protected:
    RelayServerTest() {
        options.bind_address = "127.0.0.1";
        options.tool_port = 0;
        options.operator_port = 0;
        options.operator_token = TOKEN;
        options.max_failures = 3;
    }
    ~RelayServerTest() override {
        for (int fd : fds) close(fd);
    }
    void SetUp() override {
        server.reset(new RelayServer(options, nullptr));
        std::string error;
        ASSERT_TRUE(server->start(&error)) << error;
    }
    int track(int fd) {
        fds.push_back(fd);
        return fd;
    }
    // An operator that opened a session; returns its code.
    std::string open_session(int* op) {
        *op = track(connect_loopback(server->operator_port()));
        send_text(*op, std::string("OPEN ") + TOKEN + "\n");
        std::string answer = receive(*server, *op, 14);
        EXPECT_EQ(answer.substr(0, 5), "CODE ");
        return answer.size() >= 13 ? answer.substr(5, 8) : "";
    }
    std::string tool_login(const std::string& code, int* tool, bool* closed = nullptr) {
        *tool = track(connect_loopback(server->tool_port()));
        send_text(*tool, code + "\n");
        return receive(*server, *tool, 2, closed);
    }
    // An operator and a tool paired through a fresh session.
    void paired(int* op, int* tool) {
        std::string code = open_session(op);
        ASSERT_EQ(tool_login(code, tool), "OK");
        ASSERT_EQ(receive(*server, *op, 7), "PAIRED\n");
    }

    platform::ScopedVirtualClock clock;
    RelayOptions options;
    std::unique_ptr<RelayServer> server;
    std::vector<int> fds;
};

TEST_F(RelayServerTest, PairedSidesExchangeBytesBothWays) {
    int op, tool;
    paired(&op, &tool);
    send_text(op, "@H@R");
    EXPECT_EQ(receive(*server, tool, 4), "@H@R");
    send_text(tool, std::string("@1@R\0", 5));
    EXPECT_EQ(receive(*server, op, 5), std::string("@1@R\0", 5));
}

TEST_F(RelayServerTest, SessionCodeHasEightDigitsAndAdmitsOneToolOnly) {
    int op, tool, second;
    std::string code = open_session(&op);
    ASSERT_EQ(code.size(), 8u);
    EXPECT_EQ(code.find_first_not_of("0123456789"), std::string::npos);
    EXPECT_EQ(tool_login(" " + code + " ", &tool), "OK");  // blanks typed around it
    bool closed = false;
    EXPECT_EQ(tool_login(code, &second, &closed), "NO");
    receive(*server, second, 100, &closed);
    EXPECT_TRUE(closed);
}

TEST_F(RelayServerTest, WrongCodesAreRefusedAndAnAddressIsBlockedAfterRepeatedFailures) {
    int op, tool;
    std::string code = open_session(&op);
    for (const char* wrong : {"", "00000000x", "12345678"}) {
        if (wrong == code) continue;
        EXPECT_EQ(tool_login(wrong, &tool), "NO") << wrong;
    }
    // Three failures: now even the right code is refused from this address...
    EXPECT_EQ(tool_login(code, &tool), "NO");
    // ...until the failure window has passed.
    clock.get().advance_us(uint64_t(options.failure_window_s) * 1000000);
    EXPECT_EQ(tool_login(code, &tool), "NO");  // the code expired meanwhile (ttl < window)
}

TEST_F(RelayServerTest, BlockedAddressLoginsAgainAfterTheWindow) {
    options.code_ttl_s = 100000;
    SetUp();
    int op, tool;
    std::string code = open_session(&op);
    for (int i = 0; i < 3; ++i) tool_login("bad", &tool);
    EXPECT_EQ(tool_login(code, &tool), "NO");
    clock.get().advance_us(uint64_t(options.failure_window_s) * 1000000);
    EXPECT_EQ(tool_login(code, &tool), "OK");
}

TEST_F(RelayServerTest, OperatorLoginFailures) {
    struct Case {
        const char* line;
        const char* answer;
    } cases[] = {
        {"OPEN wrong\n", "ERR wrong operator token\n"},
        {"HELLO\n", "ERR expected OPEN <token> or JOIN <token> <code>\n"},
        {"JOIN operator-secret 99999999\n", "ERR no such session\n"},
    };
    for (const Case& c : cases) {
        int op = track(connect_loopback(server->operator_port()));
        send_text(op, c.line);
        bool closed = false;
        EXPECT_EQ(receive(*server, op, 200, &closed), c.answer) << c.line;
        EXPECT_TRUE(closed) << c.line;
    }
    int op = track(connect_loopback(server->operator_port()));
    send_text(op, std::string("OPEN ") + TOKEN + "\n");
    EXPECT_EQ(receive(*server, op, 200), "ERR too many failed logins\n");
}

TEST_F(RelayServerTest, AnUnusedCodeExpires) {
    int op, tool;
    std::string code = open_session(&op);
    clock.get().advance_us(uint64_t(options.code_ttl_s) * 1000000);
    bool closed = false;
    EXPECT_EQ(receive(*server, op, 100, &closed), "ERR code expired\n");
    EXPECT_TRUE(closed);
    EXPECT_EQ(tool_login(code, &tool), "NO");
}

TEST_F(RelayServerTest, AnIdleSessionEndsAndBothSidesAreClosed) {
    int op, tool;
    paired(&op, &tool);
    clock.get().advance_us(uint64_t(options.idle_timeout_s - 1) * 1000000);
    send_text(op, "@R");  // traffic restarts the idle time
    EXPECT_EQ(receive(*server, tool, 2), "@R");
    clock.get().advance_us(2000000);
    pump(*server);
    EXPECT_EQ(server->stats().sessions, 1u);
    clock.get().advance_us(uint64_t(options.idle_timeout_s) * 1000000);
    bool closed = false;
    receive(*server, tool, 100, &closed);
    EXPECT_TRUE(closed);
    receive(*server, op, 100, &closed);
    EXPECT_TRUE(closed);
    EXPECT_EQ(server->stats().sessions, 0u);
}

TEST_F(RelayServerTest, SessionsSeeOnlyTheirOwnBytes) {
    int op1, tool1, op2, tool2;
    paired(&op1, &tool1);
    paired(&op2, &tool2);
    send_text(op1, "first");
    send_text(op2, "second");
    send_text(tool2, "reply2");
    EXPECT_EQ(receive(*server, tool1, 100, nullptr, 20), "first");
    EXPECT_EQ(receive(*server, tool2, 100, nullptr, 20), "second");
    EXPECT_EQ(receive(*server, op1, 100, nullptr, 20), "");
    EXPECT_EQ(receive(*server, op2, 100, nullptr, 20), "reply2");
}

TEST_F(RelayServerTest, AnOperatorMayLeaveAndAnotherJoinsWithTheCode) {
    int op, tool;
    std::string code = open_session(&op);
    ASSERT_EQ(tool_login(code, &tool), "OK");
    receive(*server, op, 7);
    int busy = track(connect_loopback(server->operator_port()));
    send_text(busy, std::string("JOIN ") + TOKEN + " " + code + "\n");
    EXPECT_EQ(receive(*server, busy, 200), "ERR session already has an operator\n");
    close(op);
    fds.erase(std::find(fds.begin(), fds.end(), op));
    pump(*server);
    send_text(tool, "lost");  // nobody to take it: dropped, not queued for the next one
    pump(*server);
    int joined = track(connect_loopback(server->operator_port()));
    send_text(joined, std::string("JOIN ") + TOKEN + " " + code + "\n");
    EXPECT_EQ(receive(*server, joined, 21), "CODE " + code + "\nPAIRED\n");
    send_text(tool, "@1");
    EXPECT_EQ(receive(*server, joined, 2), "@1");
}

TEST_F(RelayServerTest, ASlowReaderHoldsBackItsPeerWithBoundedBuffering) {
    int op, tool;
    paired(&op, &tool);
    std::string big;
    // More than the kernel's loopback buffers on both hops can hold.
    for (int i = 0; i < 16 * 1024 * 1024; ++i) big.push_back(char('a' + i % 23));
    size_t sent = 0;
    size_t most_buffered = 0;
    // The operator writes far more than the tool reads; the server must stop reading.
    for (int round = 0; round < 400 && sent < big.size(); ++round) {
        ssize_t n = send(op, big.data() + sent, big.size() - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) sent += size_t(n);
        server->run_once(1);
        most_buffered = std::max(most_buffered, server->stats().buffered);
    }
    EXPECT_LT(sent, big.size());  // the sender was held back
    EXPECT_LE(most_buffered, RELAY_CONNECTION_BUFFER + 16 * 1024);
    std::string got;
    std::vector<char> buffer(1 << 20);
    for (int round = 0; round < 200000 && got.size() < big.size(); ++round) {
        if (sent < big.size()) {
            ssize_t n = send(op, big.data() + sent, big.size() - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n > 0) sent += size_t(n);
        }
        server->run_once(0);
        ssize_t n = recv(tool, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (n > 0) got.append(buffer.data(), size_t(n));
        most_buffered = std::max(most_buffered, server->stats().buffered);
    }
    EXPECT_LE(most_buffered, RELAY_CONNECTION_BUFFER + 16 * 1024);
    EXPECT_TRUE(got == big) << got.size();
}

TEST_F(RelayServerTest, TheToolLeavingEndsTheSessionAndClosesTheOperator) {
    int op, tool;
    paired(&op, &tool);
    send_text(tool, "@!");
    close(tool);
    fds.erase(std::find(fds.begin(), fds.end(), tool));
    bool closed = false;
    EXPECT_EQ(receive(*server, op, 100, &closed), "@!");  // what it sent is delivered first
    EXPECT_TRUE(closed);
}

TEST(RelayOptions, ConfigurationTextAndEnvironment) {
    RelayOptions options;
    std::string error;
    EXPECT_TRUE(apply_relay_config_text("# comment\n operator_token = abc # note\ntool_port=1234\n", &options, &error));
    EXPECT_EQ(options.operator_token, "abc");
    EXPECT_EQ(options.tool_port, 1234);
    EXPECT_FALSE(apply_relay_config_text("tool_port=70000\n", &options, &error));
    EXPECT_EQ(error, "line 1: bad value for tool_port: 70000");
    EXPECT_FALSE(apply_relay_config_text("colour=red\n", &options, &error));
    EXPECT_FALSE(apply_relay_config_text("just words\n", &options, &error));

    unsetenv("QV450_OPERATOR_TOKEN");
    RelayOptions fresh;
    bool help = false;
    char program[] = "qv450-relay", flag[] = "--tool-port", value[] = "4000";
    char* argv[] = {program, flag, value};
    EXPECT_FALSE(parse_relay_options(3, argv, &fresh, &error, &help));  // no token anywhere
    setenv("QV450_OPERATOR_TOKEN", "from-the-environment", 1);
    EXPECT_TRUE(parse_relay_options(3, argv, &fresh, &error, &help)) << error;
    EXPECT_EQ(fresh.operator_token, "from-the-environment");
    EXPECT_EQ(fresh.tool_port, 4000);
    unsetenv("QV450_OPERATOR_TOKEN");
}

TEST(RelayCodes, CodesVaryAndTokensCompareExactly) {
    std::set<std::string> codes;
    for (int i = 0; i < 200; ++i) codes.insert(random_session_code());
    EXPECT_GT(codes.size(), 195u);
    EXPECT_TRUE(tokens_equal("abc", "abc"));
    EXPECT_FALSE(tokens_equal("abcd", "abc"));
    EXPECT_FALSE(tokens_equal("ab", "abc"));
    EXPECT_FALSE(tokens_equal("", ""));
}

}  // namespace
