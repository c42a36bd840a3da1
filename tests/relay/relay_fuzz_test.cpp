// A bounded, seeded fuzz of what an attacker controls: both ports' login lines, parsed
// alone and fed to a running server in random pieces, and the bytes relayed both ways.
// Fixed seeds and round counts keep every run the same; the sanitizer build runs it too.
#include <sys/socket.h>

#include <random>

#include "relay/login_line.h"
#include "relay_test_support.h"

namespace {

using Random = std::mt19937;

size_t below(Random& random, size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); }

// A line near the ones the ports know: a seed with bytes changed, cut, repeated or
// added, now and then some of the bytes that matter to parsers.
std::string mutated_line(Random& random) {
    static const std::string seeds[] = {"12345678", " 00000001 ", "OPEN operator-secret-16",
                                        "JOIN operator-secret-16 12345678", "JOIN  x\t12345678\r", ""};
    static const char special[] = {' ', '\t', '\r', '\n', '\0', '#', '@', '\xff', '0', '9'};
    std::string line = seeds[below(random, sizeof seeds / sizeof seeds[0])];
    for (size_t edits = below(random, 6); edits > 0; --edits) {
        char c = below(random, 2) ? special[below(random, sizeof special)] : char(below(random, 256));
        size_t at = line.empty() ? 0 : below(random, line.size() + 1);
        switch (below(random, 4)) {
        case 0: line.insert(at, 1, c); break;
        case 1: if (at < line.size()) line[at] = c; break;
        case 2: line.erase(at, below(random, 4)); break;
        default: line += line.substr(0, below(random, 200)); break;
        }
    }
    return line;
}

TEST(RelayFuzz, LoginLinesParseToWhatTheyHold) {
    Random random(20261207);
    for (int round = 0; round < 50000; ++round) {
        std::string line = mutated_line(random);
        uint32_t code = 0;
        if (parse_tool_line(line, &code)) {
            ASSERT_LT(code, SESSION_CODE_SPACE);
            ASSERT_NE(line.find(session_code_text(code)), std::string::npos) << line;
        }
        OperatorLine op = parse_operator_line(line);
        if (op.kind == OperatorLine::MALFORMED) continue;
        ASSERT_FALSE(op.token.empty());
        ASSERT_EQ(op.token.find_first_of(" \t\r"), std::string::npos);
        ASSERT_NE(line.find(op.token), std::string::npos);
        ASSERT_EQ(op.kind == OperatorLine::JOIN, !op.code.empty());
    }
}

// Random lines in random pieces on both ports, some cut off by a close: afterwards the
// server holds nothing of them and still logs an operator and a tool in.
TEST_F(RelayServerTest, FuzzedLoginsLeaveTheServerWhole) {
    options.max_noise_failures = 1000000;  // keep every address heard
    options.max_failures = 1000000;
    SetUp();
    Random random(55555);
    for (int round = 0; round < 400; ++round) {
        bool tool_side = below(random, 2);
        int fd = connect_loopback(tool_side ? server->tool_port() : server->operator_port(),
                                  peer_source(1 + uint32_t(below(random, 200))).c_str());
        std::string bytes = mutated_line(random);
        if (below(random, 3)) bytes += '\n';
        for (size_t at = 0; at < bytes.size();) {
            size_t piece = 1 + below(random, 16);
            send_text(fd, bytes.substr(at, piece));
            at += piece;
            if (below(random, 4) == 0) server->run_once(0);
        }
        for (int i = 0; i < 3; ++i) server->run_once(0);
        close(fd);
        if (round % 50 == 49) advance_s(options.login_timeout_s);
    }
    advance_s(options.login_timeout_s + 5);
    pump(*server, 20);
    RelayServer::Stats after = server->stats();  // sessions opened by lucky lines may stay open
    EXPECT_EQ(after.connections, 0u);
    EXPECT_EQ(after.outside_sessions + after.waiting_lines + after.handshakes, 0u);
    int op, tool;
    paired(&op, &tool);
    send_text(op, "@R");
    EXPECT_EQ(receive(*server, tool, 2), "@R");
}

// Random bytes both ways through several sessions at once, in random pieces, read in
// random amounts, with quiet spells in which busy connections give their read buffers
// back: each side gets exactly its peer's bytes, in order.
TEST_F(RelayServerTest, FuzzedStreamsArriveWhole) {
    Random random(4096);
    struct Pair {
        int end[2];
        std::string sent[2], got[2];
    };
    std::vector<Pair> pairs(6);
    for (Pair& p : pairs) paired(&p.end[0], &p.end[1]);
    for (int round = 0; round < 3000; ++round) {
        Pair& p = pairs[below(random, pairs.size())];
        int from = int(below(random, 2));
        std::string bytes(below(random, 3000), '\0');
        for (char& c : bytes) c = char(below(random, 8) == 0 ? '@' : below(random, 256));
        ssize_t n = send(p.end[from], bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) p.sent[from].append(bytes, 0, size_t(n));
        if (below(random, 100) == 0) advance_s(1.5);
        server->run_once(0);
        Pair& q = pairs[below(random, pairs.size())];
        int to = int(below(random, 2));
        char buffer[8192];
        ssize_t got = recv(q.end[to], buffer, 1 + below(random, sizeof buffer), MSG_DONTWAIT);
        if (got > 0) q.got[to].append(buffer, size_t(got));
    }
    for (Pair& p : pairs)
        for (int to = 0; to < 2; ++to) {
            p.got[to] += receive(*server, p.end[to], p.sent[1 - to].size() - p.got[to].size(), nullptr, 2000);
            EXPECT_TRUE(p.got[to] == p.sent[1 - to]) << p.got[to].size() << " of " << p.sent[1 - to].size();
        }
}

}  // namespace
