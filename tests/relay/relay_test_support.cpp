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

std::string peer_source(uint32_t n) {
    return "127." + std::to_string((n >> 16) & 0xFF) + "." + std::to_string((n >> 8) & 0xFF) + "." +
           std::to_string(n & 0xFF);
}

RelayServerTest::RelayServerTest() {
    options.bind_address = "127.0.0.1";
    options.tool_port = 0;
    options.operator_port = 0;
    options.operator_token = TEST_TOKEN;
    options.max_failures = 3;
}

RelayServerTest::~RelayServerTest() {
    for (int fd : fds) close(fd);
    server.reset();
    std::fclose(log_file);
}

void RelayServerTest::SetUp() {
    server.reset(new RelayServer(options, log_file));
    std::string error;
    ASSERT_TRUE(server->start(&error)) << error;
}

void RelayServerTest::hang_up(int fd) {
    close(fd);
    fds.erase(std::find(fds.begin(), fds.end(), fd));
}

std::string RelayServerTest::open_session(int* op, const char* source) {
    *op = track(connect_loopback(server->operator_port(), source));
    send_text(*op, std::string("OPEN ") + TEST_TOKEN + "\n");
    std::string answer = receive(*server, *op, 14);
    EXPECT_EQ(answer.substr(0, 5), "CODE ");
    return answer.size() >= 13 ? answer.substr(5, 8) : "";
}

std::string RelayServerTest::tool_login(const std::string& code, int* tool, bool* closed, const char* source) {
    *tool = track(connect_loopback(server->tool_port(), source));
    send_text(*tool, code + "\n");
    return receive(*server, *tool, 2, closed);
}

void RelayServerTest::paired(int* op, int* tool) {
    std::string code = open_session(op);
    ASSERT_EQ(tool_login(code, tool), "OK");
    ASSERT_EQ(receive(*server, *op, 7), "PAIRED\n");
}

std::string RelayServerTest::other_code(const std::string& code, int n) {
    std::string other = session_code_text(uint32_t(n));
    return other == code ? session_code_text(uint32_t(n) + 50000000u) : other;
}

std::vector<std::string> RelayServerTest::log_lines(const std::string& text) {
    std::vector<std::string> found;
    char line[512];
    std::rewind(log_file);
    while (std::fgets(line, sizeof line, log_file))
        if (std::strstr(line, text.c_str())) found.push_back(line);
    std::fseek(log_file, 0, SEEK_END);
    return found;
}
