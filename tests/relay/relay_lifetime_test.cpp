// A connection's end found in the middle of a call on it: the sanitizer build catches a
// connection freed under its own feet.
#include <sys/socket.h>

#include "relay_test_support.h"

namespace {

// Sends in small pieces while the server runs until it holds a full buffer for the
// session and reads no more, then a few bytes that stay in the kernel; returns how many
// were sent.
size_t send_until_held_back(RelayServer& server, int fd) {
    std::string piece(65536, 'q');
    size_t sent = 0;
    while (server.stats().buffered < RELAY_CONNECTION_BUFFER) {
        // Large pieces while the peer's kernel buffers still take them.
        size_t size = server.stats().buffered == 0 ? piece.size() : 4096;
        ssize_t n = send(fd, piece.data(), size, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) sent += size_t(n);
        server.run_once(1);
    }
    send_text(fd, "tail");
    return sent + 4;
}

// An operator whose bytes the server no longer reads (held for a tool not there yet, or
// for a tool that does not read) leaves; its end is found only when reading resumes, from
// inside the call that resumes it.
TEST_F(RelayServerTest, AnOperatorThatLeftWhileHeldBackIsReadToItsEnd) {
    for (bool tool_there : {false, true}) {
        SetUp();
        size_t left_before = log_lines("operator left").size();
        int op, tool = -1;
        std::string code = open_session(&op);
        if (tool_there) {
            ASSERT_EQ(tool_login(code, &tool), "OK");
            ASSERT_EQ(receive(*server, op, 7), "PAIRED\n");
        }
        size_t sent = send_until_held_back(*server, op);
        hang_up(op);
        pump(*server, 20);
        std::string expected = tool_there ? "" : "OK";
        if (!tool_there) send_text(tool = track(connect_loopback(server->tool_port())), code + "\n");
        std::string got = receive(*server, tool, expected.size() + sent, nullptr, 100000);
        EXPECT_EQ(got.size(), expected.size() + sent) << "tool there: " << tool_there;
        EXPECT_EQ(log_lines("operator left").size(), left_before + 1);
        EXPECT_EQ(server->stats().sessions, 1u);  // the tool stays for another operator
    }
}

// Bytes that come again soon make both sides busy: each waits with a read. Once the
// session has been quiet a while both wait for readiness again, the tool's while it still
// waits to write what its operator sent, and the bytes go on flowing.
TEST_F(RelayServerTest, AQuietSessionWaitsForReadinessAgain) {
    int op, tool;
    paired(&op, &tool);
    for (int i = 0; i < 2; ++i) {
        send_text(op, "@R");
        ASSERT_EQ(receive(*server, tool, 2), "@R");
        send_text(tool, "@1");
        ASSERT_EQ(receive(*server, op, 2), "@1");
    }
    EXPECT_EQ(server->stats().waiting_reads, 2u);
    size_t sent = send_until_held_back(*server, op);
    advance_s(2);
    pump(*server);
    EXPECT_EQ(server->stats().waiting_reads, 0u);
    EXPECT_EQ(receive(*server, tool, sent, nullptr, 1000).size(), sent);
    send_text(tool, "@!");
    EXPECT_EQ(receive(*server, op, 2), "@!");
}

}  // namespace
