// Loopback clients for the relay server tests.
#include "relay_test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

int connect_loopback(int port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void send_text(int fd, const std::string& text) {
    size_t sent = 0;
    while (sent < text.size()) {
        ssize_t n = send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;
        sent += size_t(n);
    }
}

std::string receive(RelayServer& server, int fd, size_t count, bool* closed, int rounds) {
    std::string got;
    if (closed) *closed = false;
    for (int i = 0; i < rounds && got.size() < count; ++i) {
        server.run_once(5);
        char buffer[65536];
        for (;;) {
            ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0) {
                got.append(buffer, size_t(n));
                continue;
            }
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
                if (closed) *closed = true;
                return got;
            }
            break;
        }
    }
    return got;
}

void pump(RelayServer& server, int rounds) {
    for (int i = 0; i < rounds; ++i) server.run_once(2);
}
