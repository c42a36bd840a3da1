// The relay server's poll loop, logins, pairing, forwarding and timers.
#include "relay/relay_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <ctime>

#include "platform/clock.h"

namespace {

constexpr uint64_t CLOSING_GRACE_MS = 5000;
constexpr size_t READ_CHUNK = 16 * 1024;
constexpr size_t FAILURE_TABLE_LIMIT = 65536;

std::string address_text(uint32_t address) {
    in_addr a{};
    a.s_addr = htonl(address);
    char text[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

int open_listener(const std::string& bind_address, int port, int* bound_port, std::string* error) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    if (inet_pton(AF_INET, bind_address.c_str(), &address.sin_addr) != 1) {
        *error = "bad bind address " + bind_address;
        return -1;
    }
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 512) != 0) {
        *error = "port " + std::to_string(port) + ": " + std::strerror(errno);
        close(fd);
        return -1;
    }
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    *bound_port = ntohs(address.sin_port);
    return fd;
}

}  // namespace

std::string random_session_code() {
    // Rejection sampling keeps every code equally likely.
    constexpr uint32_t RANGE = 100000000u;
    constexpr uint32_t LIMIT = 0xFFFFFFFFu - (0xFFFFFFFFu % RANGE);
    uint32_t value = 0;
    do {
        while (getrandom(&value, sizeof value, 0) != ssize_t(sizeof value)) {
        }
    } while (value >= LIMIT);
    char text[16];
    std::snprintf(text, sizeof text, "%0*u", SESSION_CODE_DIGITS, unsigned(value % RANGE));
    return text;
}

bool tokens_equal(const std::string& a, const std::string& b) {
    if (b.empty()) return false;
    size_t difference = a.size() ^ b.size();
    for (size_t i = 0; i < a.size(); ++i) difference |= uint8_t(a[i] ^ b[i % b.size()]);
    return difference == 0;
}

RelayServer::RelayServer(const RelayOptions& options, FILE* log) : options_(options), log_(log) {}

RelayServer::~RelayServer() {
    for (auto& entry : connections_) close(entry.first);
    if (tool_listener_ >= 0) close(tool_listener_);
    if (operator_listener_ >= 0) close(operator_listener_);
}

bool RelayServer::start(std::string* error) {
    tool_listener_ = open_listener(options_.bind_address, options_.tool_port, &tool_port_, error);
    if (tool_listener_ < 0) return false;
    operator_listener_ = open_listener(options_.bind_address, options_.operator_port, &operator_port_, error);
    return operator_listener_ >= 0;
}

void RelayServer::log(const char* format, ...) {
    if (!log_) return;
    time_t now = time(nullptr);
    tm parts{};
    gmtime_r(&now, &parts);
    char stamp[32];
    strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &parts);
    std::fprintf(log_, "%s ", stamp);
    va_list args;
    va_start(args, format);
    std::vfprintf(log_, format, args);
    va_end(args);
    std::fputc('\n', log_);
    std::fflush(log_);
}

RelayServer::Stats RelayServer::stats() const {
    Stats s;
    s.sessions = sessions_.size();
    for (const auto& entry : sessions_)
        if (entry.second.tool >= 0 && entry.second.operator_fd >= 0) ++s.paired;
    s.connections = connections_.size();
    for (const auto& entry : connections_) s.buffered += entry.second.pending() + entry.second.line.size();
    return s;
}

bool RelayServer::blocked(uint32_t address) {
    auto it = failures_.find(address);
    if (it == failures_.end()) return false;
    uint64_t now = platform::monotonic_ms();
    if (now - it->second.window_start_ms >= uint64_t(options_.failure_window_s) * 1000) {
        failures_.erase(it);
        return false;
    }
    return it->second.count >= options_.max_failures;
}

void RelayServer::record_failure(uint32_t address) {
    uint64_t now = platform::monotonic_ms();
    uint64_t window = uint64_t(options_.failure_window_s) * 1000;
    if (failures_.size() >= FAILURE_TABLE_LIMIT) {
        for (auto it = failures_.begin(); it != failures_.end();)
            it = now - it->second.window_start_ms >= window ? failures_.erase(it) : std::next(it);
        if (failures_.size() >= FAILURE_TABLE_LIMIT) failures_.clear();  // a flood: start over
    }
    Failures& f = failures_[address];
    if (f.count == 0 || now - f.window_start_ms >= window) f = Failures{0, now};
    if (++f.count == options_.max_failures)
        log("address %s blocked after %d failed logins", address_text(address).c_str(), f.count);
}

std::string RelayServer::new_code() {
    std::string code;
    do code = random_session_code();
    while (codes_.count(code));
    return code;
}

void RelayServer::accept_all(int listener, Side side) {
    for (;;) {
        sockaddr_in address{};
        socklen_t length = sizeof address;
        int fd = accept4(listener, reinterpret_cast<sockaddr*>(&address), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        if (connections_.size() >= size_t(options_.max_connections)) {
            close(fd);
            continue;
        }
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        Connection& c = connections_[fd];
        c.fd = fd;
        c.side = side;
        c.address = ntohl(address.sin_addr.s_addr);
        c.deadline_ms = platform::monotonic_ms() + uint64_t(options_.login_timeout_s) * 1000;
    }
}

RelayServer::Connection* RelayServer::peer_of(const Connection& c) {
    auto s = sessions_.find(c.session);
    if (s == sessions_.end()) return nullptr;
    int fd = c.side == Side::TOOL ? s->second.operator_fd : s->second.tool;
    auto p = connections_.find(fd);
    return p == connections_.end() ? nullptr : &p->second;
}

bool RelayServer::wants_read(const Connection& c) const {
    switch (c.phase) {
    case Phase::LOGIN:
        return true;
    case Phase::WAITING:
        return false;  // nothing to pass on yet; a hang-up still shows as POLLRDHUP
    case Phase::CLOSING:
        return c.write_shut;
    case Phase::PAIRED: {
        // Stop reading while the other side's buffer is full: backpressure.
        auto s = sessions_.find(c.session);
        if (s == sessions_.end()) return false;
        int fd = c.side == Side::TOOL ? s->second.operator_fd : s->second.tool;
        auto p = connections_.find(fd);
        return p == connections_.end() || p->second.pending() < RELAY_CONNECTION_BUFFER;
    }
    }
    return false;
}

void RelayServer::run_once(int max_wait_ms) {
    expire();
    std::vector<pollfd> fds;
    fds.reserve(connections_.size() + 2);
    fds.push_back({tool_listener_, POLLIN, 0});
    fds.push_back({operator_listener_, POLLIN, 0});
    for (const auto& entry : connections_) {
        const Connection& c = entry.second;
        short events = 0;
        if (wants_read(c)) events |= POLLIN | POLLRDHUP;
        if (c.phase == Phase::WAITING) events |= POLLRDHUP;
        if (c.pending() > 0) events |= POLLOUT;
        fds.push_back({c.fd, events, 0});
    }
    int ready = poll(fds.data(), fds.size(), max_wait_ms);
    if (ready <= 0) return;
    for (size_t i = 2; i < fds.size(); ++i)
        if (fds[i].revents) serve(fds[i].fd, fds[i].revents);
    if (fds[0].revents & POLLIN) accept_all(tool_listener_, Side::TOOL);
    if (fds[1].revents & POLLIN) accept_all(operator_listener_, Side::OPERATOR);
}

void RelayServer::serve(int fd, short revents) {
    auto it = connections_.find(fd);
    if (it == connections_.end()) return;
    Connection& c = it->second;
    if (revents & POLLOUT) {
        flush(c);
        if (!connections_.count(fd)) return;
    }
    if ((revents & POLLERR) || ((revents & POLLHUP) && !wants_read(c))) {
        drop(fd, c.side == Side::TOOL ? "tool left" : "operator left");
        return;
    }
    if (revents & (POLLIN | POLLHUP | POLLRDHUP)) {
        if (c.phase == Phase::LOGIN) read_login(c);
        else if (c.phase == Phase::PAIRED) forward(c);
        else if (c.phase == Phase::CLOSING) discard_input(c);
        else drop(fd, "operator left");  // WAITING: only a hang-up wakes it
    }
}

void RelayServer::read_login(Connection& c) {
    char buffer[LOGIN_LINE_MAX];
    // Read no further than the line: what follows it belongs to the session.
    ssize_t n = recv(c.fd, buffer, sizeof buffer - c.line.size(), MSG_PEEK);
    if (n <= 0) {
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) drop(c.fd, nullptr);
        return;
    }
    const char* lf = static_cast<const char*>(std::memchr(buffer, '\n', size_t(n)));
    size_t take = lf ? size_t(lf - buffer) + 1 : size_t(n);
    n = recv(c.fd, buffer, take, 0);
    if (n <= 0) return;
    c.line.append(buffer, size_t(n));
    if (!lf) {
        if (c.line.size() >= LOGIN_LINE_MAX - 1) {
            record_failure(c.address);
            refuse(c, c.side == Side::TOOL ? "NO" : "ERR line too long\n");
        }
        return;
    }
    std::string line = c.line.substr(0, c.line.size() - 1);
    c.line.clear();
    if (c.side == Side::TOOL) {
        // Blanks around the code are a typing slip, not part of it.
        size_t first = line.find_first_not_of(" \t\r");
        size_t last = line.find_last_not_of(" \t\r");
        login_tool(c, first == std::string::npos ? "" : line.substr(first, last - first + 1));
    } else {
        login_operator(c, line);
    }
}

void RelayServer::login_tool(Connection& c, const std::string& code) {
    auto found = codes_.find(code);
    Session* s = nullptr;
    if (!blocked(c.address) && found != codes_.end()) {
        Session& candidate = sessions_[found->second];
        if (!candidate.code_used && candidate.tool < 0) s = &candidate;
    }
    if (!s) {
        record_failure(c.address);
        log("tool login refused from %s", address_text(c.address).c_str());
        refuse(c, "NO");
        return;
    }
    uint64_t now = platform::monotonic_ms();
    s->code_used = true;
    s->tool = c.fd;
    s->last_traffic_ms = now;
    c.session = s->id;
    c.phase = Phase::PAIRED;
    c.out += "OK";
    log("session %llu: tool logged in from %s", (unsigned long long)s->id, address_text(c.address).c_str());
    if (Connection* op = peer_of(c)) {
        op->out += "PAIRED\n";
        op->phase = Phase::PAIRED;
        flush(*op);
    }
    flush(c);
}

void RelayServer::login_operator(Connection& c, const std::string& line) {
    std::vector<std::string> words;
    size_t pos = 0;
    while (pos < line.size()) {
        size_t start = line.find_first_not_of(" \t\r", pos);
        if (start == std::string::npos) break;
        size_t end = line.find_first_of(" \t\r", start);
        if (end == std::string::npos) end = line.size();
        words.push_back(line.substr(start, end - start));
        pos = end;
    }
    std::string who = address_text(c.address);
    if (blocked(c.address)) {
        log("operator refused from %s: too many failed logins", who.c_str());
        refuse(c, "ERR too many failed logins\n");
        return;
    }
    bool open = words.size() == 2 && words[0] == "OPEN";
    bool join = words.size() == 3 && words[0] == "JOIN";
    if (!open && !join) {
        record_failure(c.address);
        refuse(c, "ERR expected OPEN <token> or JOIN <token> <code>\n");
        return;
    }
    if (!tokens_equal(words[1], options_.operator_token)) {
        record_failure(c.address);
        log("operator refused from %s: wrong token", who.c_str());
        refuse(c, "ERR wrong operator token\n");
        return;
    }
    uint64_t now = platform::monotonic_ms();
    Session* s = nullptr;
    if (open) {
        if (sessions_.size() >= size_t(options_.max_sessions)) {
            refuse(c, "ERR server full\n");
            return;
        }
        uint64_t id = next_session_id_++;
        s = &sessions_[id];
        s->id = id;
        s->code = new_code();
        s->created_ms = now;
        s->last_traffic_ms = now;
        codes_[s->code] = id;
        log("session %llu: opened by operator from %s", (unsigned long long)id, who.c_str());
    } else {
        auto found = codes_.find(words[2]);
        if (found == codes_.end()) {
            record_failure(c.address);
            refuse(c, "ERR no such session\n");
            return;
        }
        s = &sessions_[found->second];
        if (s->operator_fd >= 0) {
            refuse(c, "ERR session already has an operator\n");
            return;
        }
        log("session %llu: operator joined from %s", (unsigned long long)s->id, who.c_str());
    }
    s->operator_fd = c.fd;
    c.session = s->id;
    c.out += "CODE " + s->code + "\n";
    if (s->tool >= 0) {
        c.out += "PAIRED\n";
        c.phase = Phase::PAIRED;
        s->last_traffic_ms = now;
    } else {
        c.phase = Phase::WAITING;
    }
    flush(c);
}

void RelayServer::forward(Connection& c) {
    Connection* peer = peer_of(c);
    size_t room = peer ? RELAY_CONNECTION_BUFFER - std::min(RELAY_CONNECTION_BUFFER, peer->pending()) : READ_CHUNK;
    if (room == 0) return;
    char buffer[READ_CHUNK];
    ssize_t n = recv(c.fd, buffer, std::min(room, sizeof buffer), 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        drop(c.fd, c.side == Side::TOOL ? "tool left" : "operator left");
        return;
    }
    if (n < 0) return;
    auto s = sessions_.find(c.session);
    if (s != sessions_.end()) s->second.last_traffic_ms = platform::monotonic_ms();
    // A tool's bytes with no operator attached have nobody to go to.
    if (!peer) return;
    peer->out.append(buffer, size_t(n));
    flush(*peer);
}

void RelayServer::flush(Connection& c) {
    while (!c.out.empty()) {
        ssize_t n = send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) return;
            drop(c.fd, c.side == Side::TOOL ? "tool left" : "operator left");
            return;
        }
        c.out.erase(0, size_t(n));
    }
    std::string().swap(c.out);  // an idle connection keeps no buffer
    if (c.phase == Phase::CLOSING && !c.write_shut) {
        shutdown(c.fd, SHUT_WR);
        c.write_shut = true;
    }
}

void RelayServer::discard_input(Connection& c) {
    char buffer[1024];
    ssize_t n = recv(c.fd, buffer, sizeof buffer, 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) drop(c.fd, nullptr);
}

void RelayServer::refuse(Connection& c, const char* answer) {
    c.out += answer;
    finish(c);
}

// Sends what is buffered, then closes after the other side has closed (or the grace
// time ran out), so that the last answer is not lost to a reset.
void RelayServer::finish(Connection& c) {
    c.phase = Phase::CLOSING;
    c.session = 0;
    c.deadline_ms = platform::monotonic_ms() + CLOSING_GRACE_MS;
    flush(c);
}

void RelayServer::drop(int fd, const char* reason) {
    auto it = connections_.find(fd);
    if (it == connections_.end()) return;
    Connection& c = it->second;
    uint64_t id = c.session;
    Side side = c.side;
    close(fd);
    connections_.erase(it);
    auto s = sessions_.find(id);
    if (s == sessions_.end()) return;
    if (side == Side::TOOL) {
        s->second.tool = -1;
        end_session(id, reason ? reason : "tool left");
    } else {
        s->second.operator_fd = -1;
        log("session %llu: %s", (unsigned long long)id, reason ? reason : "operator left");
    }
}

void RelayServer::end_session(uint64_t id, const char* reason) {
    auto s = sessions_.find(id);
    if (s == sessions_.end()) return;
    Session session = s->second;
    sessions_.erase(s);
    codes_.erase(session.code);
    log("session %llu closed: %s", (unsigned long long)id, reason);
    for (int fd : {session.tool, session.operator_fd}) {
        auto c = connections_.find(fd);
        if (c == connections_.end()) continue;
        if (c->second.side == Side::OPERATOR && c->second.phase == Phase::WAITING)
            c->second.out += std::string("ERR ") + reason + "\n";
        finish(c->second);
    }
}

void RelayServer::expire() {
    uint64_t now = platform::monotonic_ms();
    std::vector<int> late;
    for (const auto& entry : connections_) {
        const Connection& c = entry.second;
        if ((c.phase == Phase::LOGIN || c.phase == Phase::CLOSING) && now >= c.deadline_ms) late.push_back(c.fd);
    }
    for (int fd : late) {
        auto it = connections_.find(fd);
        if (it == connections_.end()) continue;
        if (it->second.phase == Phase::LOGIN) record_failure(it->second.address);
        drop(fd, nullptr);
    }
    std::vector<std::pair<uint64_t, const char*>> ended;
    for (const auto& entry : sessions_) {
        const Session& s = entry.second;
        if (!s.code_used && now - s.created_ms >= uint64_t(options_.code_ttl_s) * 1000)
            ended.push_back({s.id, "code expired"});
        else if (s.code_used && now - s.last_traffic_ms >= uint64_t(options_.idle_timeout_s) * 1000)
            ended.push_back({s.id, "idle"});
    }
    for (const auto& e : ended) end_session(e.first, e.second);
}
