// The relay server on loopback, with its timers on virtual time.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>

#include "platform/clock.h"
#include "relay/relay_server.h"
#include "relay_test_support.h"

namespace {

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

// An operator address's block lasts a window from the failure that spent the budget,
// not from its first failure.
TEST_F(RelayServerTest, ABlockedOperatorAddressLogsInAgainAWindowAfterItsLastFailure) {
    auto answer = [&](const std::string& token) {
        int op = track(connect_loopback(server->operator_port()));
        send_text(op, "OPEN " + token + "\n");
        std::string got = receive(*server, op, 200, nullptr, 20);
        hang_up(op);
        return got;
    };
    // The first failure early in the window, the budget spent late in it.
    EXPECT_EQ(answer("wrong"), "ERR wrong operator token\n");
    advance_s(options.failure_window_s - 10);
    for (int i = 0; i < 2; ++i) answer("wrong");
    EXPECT_EQ(answer(TEST_TOKEN), "ERR too many failed logins\n");
    // A window after the first failure the block holds: it began with the last one.
    advance_s(10);
    EXPECT_EQ(answer(TEST_TOKEN), "ERR too many failed logins\n");
    advance_s(options.failure_window_s);
    EXPECT_EQ(answer(TEST_TOKEN).substr(0, 5), "CODE ");
}

// Slips that reveal nothing spend a budget of their own, apart from wrong tokens, and
// the operators' budget is apart from the tools': a fitter's slips lock out no desk.
TEST_F(RelayServerTest, OperatorLoginFailuresAndTheirBudgets) {
    options.max_noise_failures = 4;
    options.code_ttl_s = 100000;
    SetUp();
    struct Case {
        const char* line;
        const char* answer;
        const char* logged;
    } cases[] = {
        {"OPEN wrong\n", "ERR wrong operator token\n", "wrong token"},
        {"HELLO\n", "ERR expected OPEN <token> or JOIN <token> <code>\n", "malformed login line"},
        {"JOIN operator-secret-16 99999999\n", "ERR no such session\n", "no such session"},
        {"OPEN operator-secret-16 x\n", "ERR expected OPEN <token> or JOIN <token> <code>\n", "malformed"},
        {"OPEN wrong\n", "ERR wrong operator token\n", "wrong token"},
    };
    for (const Case& c : cases) {
        int op = track(connect_loopback(server->operator_port()));
        send_text(op, c.line);
        bool closed = false;
        EXPECT_EQ(receive(*server, op, 200, &closed), c.answer) << c.line;
        EXPECT_TRUE(closed) << c.line;
        EXPECT_FALSE(log_lines(std::string("operator login refused from 127.0.0.1: ") + c.logged).empty());
    }
    EXPECT_EQ(log_lines("login refused").size(), 5u);  // one line each
    // Two wrong tokens and three slips: neither budget is spent yet, and wrong codes on the
    // tool port cost the operator port nothing.
    int op, tool;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(tool_login(other_code("", i + 1), &tool), "NO");
    op = track(connect_loopback(server->operator_port()));
    send_text(op, std::string("OPEN ") + TEST_TOKEN + "\n");
    EXPECT_EQ(receive(*server, op, 5).substr(0, 5), "CODE ");
    op = track(connect_loopback(server->operator_port()));
    send_text(op, "OPEN wrong\n");
    receive(*server, op, 200);
    op = track(connect_loopback(server->operator_port()));  // blocked: answered at once
    EXPECT_EQ(receive(*server, op, 200), "ERR too many failed logins\n");
    EXPECT_EQ(log_lines("address 127.0.0.1 blocked for operator logins").size(), 1u);
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

// Each session keeps its own time, though one timer serves each kind: traffic puts the
// earlier session behind the later one, and each ends exactly when its own time is up.
TEST_F(RelayServerTest, SessionsTimeOutEachOnItsOwnTime) {
    int now = 0;
    auto at = [&](int second) {
        clock.get().advance_us(uint64_t(second - now) * 1000000);
        now = second;
        pump(*server);
    };
    const int ttl = options.code_ttl_s, idle = options.idle_timeout_s;
    ASSERT_LT(ttl + 20, idle);
    int a_op, a_tool, b_op, b_tool, c_op, d_op, d_tool;
    paired(&a_op, &a_tool);
    at(10);
    paired(&b_op, &b_tool);
    open_session(&c_op);
    at(20);
    std::string d_code = open_session(&d_op);
    at(ttl + 10);
    EXPECT_EQ(receive(*server, c_op, 100), "ERR code expired\n");
    EXPECT_EQ(server->stats().sessions, 3u);
    EXPECT_EQ(tool_login(d_code, &d_tool), "OK");
    at(idle - 1);
    send_text(a_op, "@R");
    EXPECT_EQ(receive(*server, a_tool, 2), "@R");
    bool closed = false;
    for (int* tool : {&b_tool, &d_tool, &a_tool}) {
        int due = tool == &b_tool ? idle + 10 : tool == &d_tool ? ttl + 10 + idle : 2 * idle - 1;
        at(due - 1);
        EXPECT_FALSE(receive(*server, *tool, 100, &closed, 10).size() || closed);
        at(due);
        receive(*server, *tool, 100, &closed);
        EXPECT_TRUE(closed) << "session due at " << due;
    }
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
    send_text(busy, std::string("JOIN ") + TEST_TOKEN + " " + code + "\n");
    EXPECT_EQ(receive(*server, busy, 200), "ERR session already has an operator\n");
    close(op);
    fds.erase(std::find(fds.begin(), fds.end(), op));
    pump(*server);
    send_text(tool, "lost");  // nobody to take it: dropped, not queued for the next one
    pump(*server);
    int joined = track(connect_loopback(server->operator_port()));
    send_text(joined, std::string("JOIN ") + TEST_TOKEN + " " + code + "\n");
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
    // Held back means not read at all, not read again and again for nothing.
    uint64_t reads = server->stats().reads;
    pump(*server, 50);
    EXPECT_EQ(server->stats().reads, reads);
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

// Also from a busy tool (bytes came just before), whose read takes its last bytes and
// the end of its stream together.
TEST_F(RelayServerTest, TheToolLeavingEndsTheSessionAndClosesTheOperator) {
    for (int messages_before : {0, 2}) {
        SetUp();
        int op, tool;
        paired(&op, &tool);
        for (int i = 0; i < messages_before; ++i) {
            send_text(tool, "@1");
            ASSERT_EQ(receive(*server, op, 2), "@1");
        }
        send_text(tool, "@!");
        close(tool);
        fds.erase(std::find(fds.begin(), fds.end(), tool));
        usleep(10000);  // both there before the server looks
        bool closed = false;
        EXPECT_EQ(receive(*server, op, 100, &closed), "@!") << messages_before;  // delivered first
        EXPECT_TRUE(closed) << messages_before;
    }
}

// A connection that says nothing is closed at the login time-out. On the operator port
// the time-out counts as a failed login that reveals nothing; a tool's costs nothing.
TEST_F(RelayServerTest, ASilentLoginTimesOutAndCountsOnlyForOperators) {
    options.max_noise_failures = 2;
    for (LoginSide side : {LoginSide::OPERATOR, LoginSide::TOOL}) {
        SetUp();
        bool op_side = side == LoginSide::OPERATOR;
        int port = op_side ? server->operator_port() : server->tool_port();
        size_t logged = log_lines("login refused from 127.0.0.1: login timed out").size();
        for (int i = 0; i < 2; ++i) {
            int silent = track(connect_loopback(port));
            pump(*server);
            advance_s(options.login_timeout_s);
            bool closed = false;
            EXPECT_EQ(receive(*server, silent, 100, &closed), "");
            EXPECT_TRUE(closed);
        }
        EXPECT_EQ(log_lines("login refused from 127.0.0.1: login timed out").size(), logged + 2);
        int op = -1;
        std::string line = op_side ? std::string("OPEN ") + TEST_TOKEN : open_session(&op, "127.0.0.2");
        int next = track(connect_loopback(port));
        send_text(next, line + "\n");
        // Blocked, before it says a word; or heard out.
        EXPECT_EQ(receive(*server, next, op_side ? 100 : 2), op_side ? "ERR too many failed logins\n" : "OK");
    }
}

// Blocking an address closes its other pending logins at once, without waiting for
// their time-out.
TEST_F(RelayServerTest, ABlockedAddressLosesItsPendingLoginsAtOnce) {
    int waiting = track(connect_loopback(server->operator_port()));
    int other = track(connect_loopback(server->operator_port(), "127.0.0.2"));
    pump(*server);
    for (int i = 0; i < 3; ++i) {
        int op = track(connect_loopback(server->operator_port()));
        send_text(op, "OPEN wrong-token\n");
        EXPECT_EQ(receive(*server, op, 100), "ERR wrong operator token\n");
    }
    bool closed = false;
    EXPECT_EQ(receive(*server, waiting, 100, &closed), "ERR too many failed logins\n");
    EXPECT_TRUE(closed);
    EXPECT_EQ(receive(*server, other, 100, nullptr, 10), "");  // another address is left alone
}

TEST_F(RelayServerTest, OneAddressCannotTakeEveryConnection) {
    options.max_logins_per_address = 2;
    options.max_connections_per_address = 4;
    SetUp();
    int op, tool;
    paired(&op, &tool);  // two open, logged in
    for (int i = 0; i < 2; ++i) track(connect_loopback(server->tool_port()));
    pump(*server);
    bool closed = false;
    int over = track(connect_loopback(server->tool_port()));  // a fifth
    EXPECT_EQ(receive(*server, over, 100, &closed), "");
    EXPECT_TRUE(closed);
    EXPECT_EQ(log_lines("too many connections from this address").size(), 1u);
    close(op);  // room for one more, but not for a third login in progress
    over = track(connect_loopback(server->tool_port()));
    EXPECT_EQ(receive(*server, over, 100, &closed), "");
    EXPECT_TRUE(closed);
    EXPECT_EQ(log_lines("too many unfinished logins from this address").size(), 1u);
    int elsewhere = track(connect_loopback(server->tool_port(), "127.0.0.2"));
    send_text(elsewhere, "00000000\n");
    EXPECT_EQ(receive(*server, elsewhere, 2), "NO");  // heard out
}

// The longest token the server starts with fits a JOIN line even when the line comes a
// byte at a time.
TEST_F(RelayServerTest, TheLongestTokenAllowedLogsInByteByByte) {
    options.operator_token = std::string(MAX_OPERATOR_TOKEN_LENGTH, 't');
    SetUp();
    int op = track(connect_loopback(server->operator_port()));
    send_text(op, "OPEN " + options.operator_token + "\n");
    std::string code = receive(*server, op, 14).substr(5, 8);
    hang_up(op);
    pump(*server);
    int joined = track(connect_loopback(server->operator_port()));
    for (char c : "JOIN " + options.operator_token + " " + code + "\n") {
        send_text(joined, std::string(1, c));
        server->run_once(0);
    }
    EXPECT_EQ(receive(*server, joined, 14), "CODE " + code + "\n");
}

TEST_F(RelayServerTest, ListensOnIpv6AndIpv4) {
    options.bind_address = "";
    SetUp();
    int op, tool;
    std::string code = open_session(&op);
    tool = track(connect_loopback(server->tool_port(), "::1", "::1"));
    ASSERT_GE(tool, 0);
    send_text(tool, code + "\n");
    EXPECT_EQ(receive(*server, tool, 2), "OK");
    EXPECT_EQ(log_lines("tool logged in from ::1").size(), 1u);
}

TEST(RelayOptions, TheServiceDescriptorLimitHoldsTheDefaultSessions) {
    std::ifstream unit(QV450_SOURCE_DIR "/packaging/systemd/qv450-relay.service");
    std::string line;
    uint64_t limit = 0;
    while (std::getline(unit, line))
        if (line.rfind("LimitNOFILE=", 0) == 0) limit = std::stoull(line.substr(12));
    RelayOptions options;
    fit_to_descriptor_limit(limit, &options);
    EXPECT_EQ(options.max_sessions, RelayOptions().max_sessions);
    EXPECT_LT(uint64_t(options.max_sessions) * 2 + 1024, limit);  // and some room for logins
    fit_to_descriptor_limit(1000, &options);
    EXPECT_EQ(options.max_sessions, 484);
}

// The service gets its configuration and certificate files as credentials in one folder.
TEST(RelayOptions, RelativeCertificateNamesAreBesideTheConfiguration) {
    char folder[] = "/tmp/qv450-conf-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    std::string path = std::string(folder) + "/relay.conf";
    std::ofstream(path) << "operator_token = a-token-of-16-chars\ntls_certificate = relay.crt\ntls_key = /keys/k.pem\n";
    RelayOptions options;
    std::string error;
    bool help = false;
    char program[] = "qv450-relay", flag[] = "--config";
    char* argv[] = {program, flag, &path[0]};
    EXPECT_TRUE(parse_relay_options(3, argv, &options, &error, &help)) << error;
    EXPECT_EQ(options.tls_certificate, std::string(folder) + "/relay.crt");
    EXPECT_EQ(options.tls_key, "/keys/k.pem");
    unlink(path.c_str());
    rmdir(folder);
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
    for (int i = 0; i < 200; ++i) codes.insert(session_code_text(random_session_code()));
    EXPECT_GT(codes.size(), 195u);
    EXPECT_TRUE(tokens_equal("abc", "abc"));
    EXPECT_FALSE(tokens_equal("abcd", "abc"));
    EXPECT_FALSE(tokens_equal("ab", "abc"));
    EXPECT_FALSE(tokens_equal("", ""));
}

}  // namespace
