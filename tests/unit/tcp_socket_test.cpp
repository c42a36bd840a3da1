// The TCP client wrapper against real loopback sockets.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "platform/clock.h"
#include "platform/tcp_socket.h"
#include "unit/http_servers.h"

namespace {

using platform::SocketWait;

// A listening socket on a free loopback port.
struct Listener {
    Listener() { fd = bind_loopback(&port, 4); }
    ~Listener() { close(fd); }
    int fd;
    uint16_t port = 0;
};

uint32_t loopback() { return htonl(INADDR_LOOPBACK); }

SocketWait wait_ms(int ms) {
    SocketWait w;
    w.timeout_ms = ms;
    return w;
}

TEST(TcpSocket, ResolvesNumericAndLocalNames) {
    uint32_t address = 0;
    ASSERT_TRUE(platform::resolve_ipv4("127.0.0.1", &address, wait_ms(2000)));
    EXPECT_EQ(address, loopback());
    address = 0;
    ASSERT_TRUE(platform::resolve_ipv4("localhost", &address, wait_ms(5000)));
    EXPECT_EQ(ntohl(address) >> 24, 127u);
    EXPECT_FALSE(platform::resolve_ipv4("", &address, wait_ms(100)));
    EXPECT_FALSE(platform::resolve_ipv4(std::string(300, 'a').c_str(), &address, wait_ms(100)));
}

TEST(TcpSocket, ConnectsSendsAndReceivesWithinItsTimeOuts) {
    Listener server;
    const int fd = platform::tcp_connect(loopback(), server.port, wait_ms(2000));
    ASSERT_GE(fd, 0);
    const int peer = accept(server.fd, nullptr, nullptr);
    ASSERT_GE(peer, 0);

    EXPECT_EQ(platform::send_all(fd, "hello", 5, wait_ms(1000)), 5u);
    char got[16] = {};
    ASSERT_EQ(recv(peer, got, sizeof got, 0), 5);

    // Nothing comes: the receive gives up after its time-out, having called the hook.
    int ticks = 0;
    SocketWait w = wait_ms(200);
    w.hook = [](void* count) { ++*static_cast<int*>(count); };
    w.context = &ticks;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(platform::receive_some(fd, got, sizeof got, w), platform::SOCKET_TIMED_OUT);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(190));
    EXPECT_LT(took, std::chrono::milliseconds(1000));
    EXPECT_GE(ticks, 2);
    EXPECT_EQ(platform::wait_readable(fd, wait_ms(0)), 0);

    ASSERT_EQ(send(peer, "ok", 2, 0), 2);
    EXPECT_EQ(platform::wait_readable(fd, wait_ms(1000)), 1);
    EXPECT_EQ(platform::receive_some(fd, got, sizeof got, wait_ms(1000)), 2);
    close(peer);
    EXPECT_EQ(platform::receive_some(fd, got, sizeof got, wait_ms(1000)), 0);  // closed
    platform::close_socket(fd);
}

TEST(TcpSocket, ATimeOutCountsRealTimeUnderAVirtualClock) {
    Listener server;
    const int fd = platform::tcp_connect(loopback(), server.port, wait_ms(2000));
    ASSERT_GE(fd, 0);
    // A virtual clock moves only when the program sleeps on it, never while poll waits.
    platform::ScopedVirtualClock clock;
    char got[4];
    EXPECT_EQ(platform::receive_some(fd, got, sizeof got, wait_ms(50)), platform::SOCKET_TIMED_OUT);
    EXPECT_EQ(clock.now_ms(), 0u);
    platform::close_socket(fd);
}

TEST(TcpSocket, ARefusedConnectionIsAnError) {
    uint16_t port;
    {
        Listener closed;
        port = closed.port;
    }
    EXPECT_EQ(platform::tcp_connect(loopback(), port, wait_ms(2000)), platform::SOCKET_ERROR);
}

TEST(TcpSocket, SendingIntoAFullPipeStopsAtTheTimeOut) {
    Listener server;
    const int fd = platform::tcp_connect(loopback(), server.port, wait_ms(2000));
    ASSERT_GE(fd, 0);
    const int peer = accept(server.fd, nullptr, nullptr);  // never reads
    std::string big(64 << 20, 'x');
    const auto start = std::chrono::steady_clock::now();
    const size_t sent = platform::send_all(fd, big.data(), big.size(), wait_ms(300));
    EXPECT_LT(sent, big.size());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
    close(peer);
    platform::close_socket(fd);
}

TEST(TcpSocket, SendingToAPeerThatResetTheConnectionStopsAtOnce) {
    Listener server;
    const int fd = platform::tcp_connect(loopback(), server.port, wait_ms(2000));
    ASSERT_GE(fd, 0);
    const int peer = accept(server.fd, nullptr, nullptr);
    const linger reset{1, 0};
    setsockopt(peer, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    close(peer);  // a reset, not an orderly close
    ASSERT_EQ(platform::wait_readable(fd, wait_ms(1000)), 1);
    const std::string big(1 << 20, 'x');
    const auto start = std::chrono::steady_clock::now();
    EXPECT_LT(platform::send_all(fd, big.data(), big.size(), wait_ms(3000)), big.size());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000)) << "no waiting for the time-out";
    platform::close_socket(fd);
}

}  // namespace
