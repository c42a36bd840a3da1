// What guessers, floods and a full table can and cannot do to the relay's logins: an
// open code always logs its tool in, wrong codes cost their own address time, and no
// address that did nothing wrong is turned away.
#include <sys/socket.h>

#include "relay_test_support.h"

namespace {

class RelayLimitsTest : public RelayServerTest {
protected:
    RelayLimitsTest() { options.max_failures = RelayOptions().max_failures; }

    // Sends a tool line from `source` without waiting for the answer.
    int send_tool_line(const std::string& line, const std::string& source) {
        int fd = track(connect_loopback(server->tool_port(), source.c_str()));
        send_text(fd, line + "\n");
        return fd;
    }
    // The answer a tool line gets at once (the clock stands still), then hangs up.
    std::string answer_now(const std::string& line, const std::string& source = "127.0.0.1") {
        int fd = send_tool_line(line, source);
        std::string got = receive(*server, fd, 2, nullptr, 20);
        hang_up(fd);
        return got;
    }
    // What came on fd so far, without waiting.
    std::string arrived(int fd) { return receive(*server, fd, 2, nullptr, 1); }
    static std::string taken(int fd) {
        char buffer[64];
        ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        return n > 0 ? std::string(buffer, size_t(n)) : "";
    }
    std::string operator_answer(const std::string& line, const std::string& source, bool* closed = nullptr) {
        int fd = track(connect_loopback(server->operator_port(), source.c_str()));
        send_text(fd, line + "\n");
        return receive(*server, fd, 200, closed, 20);
    }
};

// Fitters behind one address (a carrier's NAT) mistype codes: after the first few, each
// wrong code makes that address wait longer for its next answer, up to a few seconds,
// and never keeps an open code out.
TEST_F(RelayLimitsTest, AWrongCodeCostsItsAddressTimeNotItsFittersTheirLogin) {
    int op, other_op;
    std::string code = open_session(&op), elsewhere = open_session(&other_op);
    const uint64_t expected_ms[] = {0, 0, 0, 0, 500, 1000, 2000, 4000, 4000, 4000};
    for (int i = 0; i < 10; ++i) {
        int fd = send_tool_line(other_code(code, i + 1), "127.0.0.1");
        uint64_t waited_ms = 0;
        std::string got;
        for (; (got = arrived(fd)).empty() && waited_ms < 10000; waited_ms += 250) advance_s(0.25);
        EXPECT_EQ(got, "NO");
        EXPECT_EQ(waited_ms, expected_ms[i]) << "wrong code " << i + 1;
        hang_up(fd);
    }
    EXPECT_EQ(answer_now(elsewhere, "127.0.0.2"), "OK");  // a fitter elsewhere is heard at once...
    int fitter = send_tool_line(code, "127.0.0.1");         // ...one behind the same address waits its turn
    EXPECT_EQ(arrived(fitter), "");
    advance_s(MAX_GUESS_DELAY_MS / 1000.0);
    EXPECT_EQ(arrived(fitter), "OK");
    advance_s(options.failure_window_s);  // the address's wrong codes are forgotten
    EXPECT_EQ(answer_now(other_code(code, 99)), "NO");
    EXPECT_EQ(answer_now(other_code(code, 98)), "NO");
}

// Ten wrong codes from each of nine addresses spend what the guess budget gives
// addresses that guessed before; the third kept for the others lets a fitter in at once.
TEST_F(RelayLimitsTest, GuessesFromManyAddressesNeverKeepAnOpenCodeOut) {
    int op;
    std::string code = open_session(&op);
    std::vector<int> guesses;
    for (uint32_t a = 0; a < 9; ++a)
        for (int i = 0; i < 10; ++i)
            guesses.push_back(send_tool_line(other_code(code, int(a) * 10 + i + 1), peer_source(2 + a)));
    std::vector<std::string> answers(guesses.size());
    for (int step = 0; step < 30; ++step) {  // past every line's login time
        pump(*server, 3);
        for (size_t i = 0; i < guesses.size(); ++i) answers[i] += taken(guesses[i]);
        advance_s(0.5);
    }
    int refused = int(std::count(answers.begin(), answers.end(), "NO"));
    EXPECT_EQ(refused, options.guesses_per_hour - options.guesses_per_hour / 3);
    EXPECT_EQ(int(std::count(answers.begin(), answers.end(), "")), int(guesses.size()) - refused);
    EXPECT_EQ(log_lines("guesses_per_hour spent").size(), 1u);
    int tool;
    EXPECT_EQ(tool_login(code, &tool, nullptr, "127.0.1.1"), "OK");
}

// A tool back with a code it used, or one that ended or expired, is no guesser: it is
// told NO at once and costs nobody anything. Nor does a line that holds no code.
TEST_F(RelayLimitsTest, CodesOnceOpenAreNoGuesses) {
    options.guesses_per_hour = 3;
    SetUp();
    int op, tool, gone_op, gone_tool, old_op;
    std::string in_use = open_session(&op);
    ASSERT_EQ(tool_login(in_use, &tool), "OK");
    std::string ended = open_session(&gone_op);
    ASSERT_EQ(tool_login(ended, &gone_tool), "OK");
    hang_up(gone_tool);
    std::string expired = open_session(&old_op);
    advance_s(options.code_ttl_s);
    pump(*server);
    for (int i = 0; i < 3; ++i)
        for (const std::string& line : {in_use, ended, expired, std::string("1234567"), std::string("abcdefgh")})
            EXPECT_EQ(answer_now(line), "NO") << line;
    EXPECT_EQ(log_lines("session code no longer open").size(), 9u);
    std::string fresh = open_session(&op);
    EXPECT_EQ(answer_now(fresh), "OK");
}

// One token holder cannot open every code the server may hold: codes not used yet are
// capped per address and in all, and a used one makes room again.
TEST_F(RelayLimitsTest, OpenCodesAreCappedPerAddressAndInAll) {
    const std::string open = std::string("OPEN ") + TEST_TOKEN;
    int per_address = options.max_open_codes_per_address;
    std::vector<std::string> codes;
    for (int a = 0; a * per_address < options.max_open_codes; ++a) {
        for (int i = 0; i < per_address; ++i) {
            int op;
            codes.push_back(open_session(&op, peer_source(uint32_t(a + 1)).c_str()));
        }
        if (int(codes.size()) == options.max_open_codes) break;
        EXPECT_EQ(operator_answer(open, peer_source(uint32_t(a + 1))), "ERR too many open codes from this address\n");
    }
    EXPECT_EQ(operator_answer(open, "127.0.1.1"), "ERR too many open codes\n");
    int tool;
    EXPECT_EQ(tool_login(codes.front(), &tool), "OK");
    EXPECT_EQ(operator_answer(open, peer_source(1)).substr(0, 5), "CODE ");
    EXPECT_EQ(log_lines("failed logins").size(), 0u);  // refusals the address did not earn
}

// Addresses that each fail once, or are blocked, fill the failure table: it forgets its
// oldest entries, unblocked ones first, says that it is full, and never turns away an
// address that did not fail.
TEST_F(RelayLimitsTest, AFullFailureTableNeverRefusesAnAddressThatDidNotFail) {
    options.failure_table_size = 4;
    options.max_failures = 3;
    SetUp();
    const std::string wrong = "OPEN not-the-token", right = std::string("OPEN ") + TEST_TOKEN;
    auto fail = [&](const std::string& source, int times) {
        for (int i = 0; i < times; ++i) operator_answer(wrong, source);
    };
    fail(peer_source(1), 3);
    for (uint32_t n = 2; n <= 7; ++n) fail(peer_source(n), 1);  // single failures make room for each other...
    EXPECT_EQ(operator_answer(right, peer_source(1)), "ERR too many failed logins\n");  // ...not for a block
    for (uint32_t n = 5; n <= 7; ++n) fail(peer_source(n), 2);  // now four blocks
    EXPECT_EQ(operator_answer(right, peer_source(9)).substr(0, 5), "CODE ");
    fail(peer_source(9), 1);
    EXPECT_EQ(log_lines("failure table of the operator port full").size(), 1u);
    EXPECT_EQ(operator_answer(right, peer_source(10)).substr(0, 5), "CODE ");
}

// Connections that take a slot and say nothing, or come from a blocked address, never
// keep a newcomer out: a blocked address is answered and closed before it holds a slot,
// and the oldest connection outside a session makes way when they fill their share.
TEST_F(RelayLimitsTest, BlockedAndIdleConnectionsNeverKeepANewcomerOut) {
    options.max_connections = 16;
    options.max_failures = 3;
    SetUp();
    for (int i = 0; i < 3; ++i) operator_answer("OPEN not-the-token", "127.0.0.2");
    for (int i = 0; i < 20; ++i) {
        bool closed = false;
        int blocked = track(connect_loopback(server->operator_port(), "127.0.0.2"));
        EXPECT_EQ(receive(*server, blocked, 100, &closed, 20), "ERR too many failed logins\n");
        EXPECT_TRUE(closed);
    }
    int op, tool;
    std::string code = open_session(&op);
    EXPECT_LE(server->stats().connections, 4u);  // the operator, and refusals of wrong tokens not yet closed
    std::vector<int> silent;
    for (int i = 0; i < 15; ++i) silent.push_back(track(connect_loopback(server->tool_port(), "127.0.0.3")));
    pump(*server, 20);
    EXPECT_EQ(tool_login(code, &tool, nullptr, "127.0.0.4"), "OK");
    bool closed = false;
    receive(*server, silent.front(), 100, &closed, 20);
    EXPECT_TRUE(closed);  // the oldest made way
    receive(*server, silent.back(), 100, &closed, 5);
    EXPECT_FALSE(closed);
    EXPECT_EQ(log_lines("the oldest make way").size(), 1u);
}

}  // namespace
