// The relay socket over POSIX TCP, and the defaults for the serial port and image.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "net/relay_io.h"

namespace {

class TcpRelaySocket : public RelaySocket {
public:
    explicit TcpRelaySocket(int fd) : fd_(fd) {}
    ~TcpRelaySocket() override { ::close(fd_); }
    int send(const uint8_t* data, int n) override {
        ssize_t sent = ::send(fd_, data, size_t(n), MSG_NOSIGNAL);
        return sent < 0 ? -1 : int(sent);
    }
    int receive(uint8_t* data, int n) override {
        ssize_t got;
        do got = ::recv(fd_, data, size_t(n), 0);
        while (got < 0 && errno == EINTR);
        return got < 0 ? -1 : int(got);
    }
    int wait_readable(int timeout_ms) override {
        pollfd p{fd_, POLLIN, 0};
        int r = ::poll(&p, 1, timeout_ms);
        if (r < 0) return errno == EINTR ? 0 : -1;
        return r > 0 ? 1 : 0;
    }

private:
    int fd_;
};

// Connects with a time-out, so that an unreachable server cannot hang the window.
bool connect_with_timeout(int fd, const sockaddr_in& address, int timeout_ms) {
    int flags = fcntl(fd, F_GETFL, 0);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    int r = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    if (r != 0 && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, timeout_ms) != 1) return false;
        int error = 0;
        socklen_t length = sizeof error;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
        r = error == 0 ? 0 : -1;
    }
    fcntl(fd, F_SETFL, flags);
    return r == 0;
}

class NoSerialPort : public RelaySerialPort {
public:
    bool is_open() override { return false; }
    void open() override {}
    void close() override {}
    int read(uint8_t*, int) override { return 0; }
    int write(const uint8_t*, int) override { return -1; }
};

NoSerialPort no_serial_port;
RelaySerialPort* serial_port = &no_serial_port;

}  // namespace

RelayConnectResult connect_relay_socket(const std::string& host, int port, int timeout_ms,
                                        std::unique_ptr<RelaySocket>* out) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return RELAY_NO_HOST;
    sockaddr_in address = *reinterpret_cast<sockaddr_in*>(found->ai_addr);
    freeaddrinfo(found);
    address.sin_port = htons(uint16_t(port));
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return RELAY_NO_CONNECTION;
    if (!connect_with_timeout(fd, address, timeout_ms)) {
        ::close(fd);
        return RELAY_NO_CONNECTION;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    out->reset(new TcpRelaySocket(fd));
    return RELAY_CONNECTED;
}

RelaySerialPort& relay_serial_port() { return *serial_port; }

void install_relay_serial_port(RelaySerialPort* port) { serial_port = port ? port : &no_serial_port; }
