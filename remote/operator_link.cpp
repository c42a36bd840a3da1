// The operator's relay connection over TCP.
#include "remote/operator_link.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace {

int64_t now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

constexpr int HANDSHAKE_TIMEOUT_MS = 10000;

}  // namespace

bool split_server(const std::string& server, std::string* host, int* port) {
    size_t colon = server.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    char* end = nullptr;
    long number = std::strtol(server.c_str() + colon + 1, &end, 10);
    if (!end || *end != '\0' || number < 1 || number > 65535) return false;
    *host = server.substr(0, colon);
    *port = int(number);
    return true;
}

OperatorLink::~OperatorLink() {
    if (fd_ >= 0) close(fd_);
}

bool OperatorLink::open(const std::string& server, const std::string& token, const std::string& code,
                        std::string* code_out, std::string* error) {
    std::string host;
    int port = 0;
    if (!split_server(server, &host, &port)) {
        *error = "server must be HOST:PORT, not \"" + server + "\"";
        return false;
    }
    if (token.empty() || token.find_first_of(" \t\r\n") != std::string::npos) {
        *error = "no usable operator token (--token or QV450_OPERATOR_TOKEN)";
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) {
        *error = "cannot resolve " + host;
        return false;
    }
    sockaddr_in address = *reinterpret_cast<sockaddr_in*>(found->ai_addr);
    freeaddrinfo(found);
    address.sin_port = htons(uint16_t(port));
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0 || connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        *error = "cannot connect to " + server + ": " + std::strerror(errno);
        return false;
    }
    int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::string hello = code.empty() ? "OPEN " + token + "\n" : "JOIN " + token + " " + code + "\n";
    if (!send(hello, error)) return false;
    std::string line;
    if (!read_line(&line, HANDSHAKE_TIMEOUT_MS, error)) return false;
    if (line.rfind("CODE ", 0) != 0) {
        *error = line.rfind("ERR ", 0) == 0 ? "relay server: " + line.substr(4) : "unexpected answer: " + line;
        return false;
    }
    *code_out = line.substr(5);
    return true;
}

bool OperatorLink::wait_paired(std::string* error) {
    std::string line;
    if (!read_line(&line, -1, error)) return false;
    if (line == "PAIRED") {
        paired_ = true;
        // Whatever followed the line already belongs to the stream.
        std::vector<ToolMessage> parsed;
        std::string rest;
        rest.swap(lines_);
        parser_.feed(rest.data(), rest.size(), &parsed);
        messages_.insert(messages_.end(), parsed.begin(), parsed.end());
        return true;
    }
    *error = line.rfind("ERR ", 0) == 0 ? "relay server: " + line.substr(4) : "unexpected answer: " + line;
    return false;
}

bool OperatorLink::send(const std::string& bytes, std::string* error) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *error = "the relay connection is lost";
            return false;
        }
        sent += size_t(n);
    }
    return true;
}

bool OperatorLink::receive(int timeout_ms, bool* timed_out, std::string* error) {
    *timed_out = false;
    pollfd p{fd_, POLLIN, 0};
    int r = poll(&p, 1, timeout_ms);
    if (r == 0) {
        *timed_out = true;
        return false;
    }
    char buffer[16384];
    ssize_t n = r > 0 ? recv(fd_, buffer, sizeof buffer, 0) : -1;
    if (n <= 0) {
        *error = paired_ ? "the tool left the session" : "the relay server closed the connection";
        return false;
    }
    if (!paired_) {
        lines_.append(buffer, size_t(n));
        return true;
    }
    std::vector<ToolMessage> parsed;
    if (!parser_.feed(buffer, size_t(n), &parsed)) {
        *error = "the tool sent a message this program does not know";
        return false;
    }
    messages_.insert(messages_.end(), parsed.begin(), parsed.end());
    return true;
}

bool OperatorLink::read_line(std::string* line, int timeout_ms, std::string* error) {
    int64_t deadline = timeout_ms < 0 ? -1 : now_ms() + timeout_ms;
    for (;;) {
        size_t lf = lines_.find('\n');
        if (lf != std::string::npos) {
            *line = lines_.substr(0, lf);
            lines_.erase(0, lf + 1);
            return true;
        }
        int wait = deadline < 0 ? 1000 : int(std::max<int64_t>(0, deadline - now_ms()));
        bool timed_out = false;
        if (!receive(wait, &timed_out, error)) {
            if (!timed_out) return false;
            if (deadline >= 0) {
                *error = "the relay server did not answer";
                return false;
            }
        }
    }
}

bool OperatorLink::next(ToolMessage* message, int timeout_ms, std::string* error) {
    int64_t deadline = now_ms() + timeout_ms;
    for (;;) {
        while (!messages_.empty()) {
            ToolMessage m = messages_.front();
            messages_.pop_front();
            if (!m.kind.empty()) {
                *message = m;
                return true;
            }
            if (serial_sink_) *serial_sink_ += m.payload;
        }
        bool timed_out = false;
        int wait = int(std::max<int64_t>(0, deadline - now_ms()));
        if (!receive(wait, &timed_out, error)) {
            if (timed_out) *error = "the tool did not answer in time";
            return false;
        }
    }
}
