// Loopback clients for the relay server tests.
#include "relay_test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

int connect_loopback(int port, const char* source, const char* address) {
    sockaddr_in6 to{}, from{};
    bool v6 = std::strchr(address, ':') != nullptr;
    socklen_t length = v6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    sockaddr_in* to4 = reinterpret_cast<sockaddr_in*>(&to);
    sockaddr_in* from4 = reinterpret_cast<sockaddr_in*>(&from);
    if (v6) {
        to.sin6_family = from.sin6_family = AF_INET6;
        to.sin6_port = htons(uint16_t(port));
        inet_pton(AF_INET6, address, &to.sin6_addr);
    } else {
        to4->sin_family = from4->sin_family = AF_INET;
        to4->sin_port = htons(uint16_t(port));
        inet_pton(AF_INET, address, &to4->sin_addr);
        inet_pton(AF_INET, source, &from4->sin_addr);
    }
    int fd = socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (!v6 && bind(fd, reinterpret_cast<sockaddr*>(&from), length) != 0) {
        close(fd);
        return -1;
    }
    if (connect(fd, reinterpret_cast<sockaddr*>(&to), length) != 0) {
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
