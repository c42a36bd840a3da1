// The relay server's listeners, logins, pairing, forwarding and session timers.
#include "relay/relay_server.h"

#include <openssl/ssl.h>
#include <sys/random.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <ctime>

#include "platform/clock.h"

namespace {

constexpr uint64_t CLOSING_GRACE_MS = 5000;
constexpr uint64_t ACCEPT_RETRY_MS = 100;
constexpr uint64_t DAY_MS = 24 * 3600 * 1000ull;
const FailureKind GUESS = FailureKind::GUESS;
const FailureKind NOISE = FailureKind::NOISE;

const char* side_name(LoginSide side) { return side == LoginSide::TOOL ? "tool" : "operator"; }

FailureLimits failure_limits(const RelayOptions& o) {
    FailureLimits limits;
    limits.guesses = o.max_failures;
    limits.noise = o.max_noise_failures;
    limits.window_ms = uint64_t(o.failure_window_s) * 1000;
    limits.table_size = size_t(o.failure_table_size);
    return limits;
}

}  // namespace

uint32_t random_session_code() {
    // Rejection sampling keeps every code equally likely.
    constexpr uint32_t RANGE = 100000000u;
    constexpr uint32_t LIMIT = 0xFFFFFFFFu - (0xFFFFFFFFu % RANGE);
    uint32_t value = 0;
    do {
        while (getrandom(&value, sizeof value, 0) != ssize_t(sizeof value)) {
        }
    } while (value >= LIMIT);
    return value % RANGE;
}

bool tokens_equal(const std::string& a, const std::string& b) {
    if (b.empty()) return false;
    size_t difference = a.size() ^ b.size();
    for (size_t i = 0; i < a.size(); ++i) difference |= uint8_t(a[i] ^ b[i % b.size()]);
    return difference == 0;
}

RelayServer::RelayServer(const RelayOptions& options, FILE* log)
    : io_(1), options_(options), log_(log), poke_(io_.get_executor()), unused_code_(io_, "code expired"),
      idle_(io_, "idle"), failures_(failure_limits(options)),
      tool_guesses_(size_t(options.max_tool_failures_per_day), DAY_MS) {
    unused_code_.limit_ms = uint64_t(options.code_ttl_s) * 1000;
    idle_.limit_ms = uint64_t(options.idle_timeout_s) * 1000;
}

RelayServer::~RelayServer() {
    // Sessions hold connections; the io_context, destroyed last, drops the handlers
    // that hold the rest.
    for (auto& entry : sessions_) {
        for (ConnectionPtr* c : {&entry.second.tool, &entry.second.op})
            if (*c) (*c)->session = nullptr;
    }
    sessions_.clear();
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

bool RelayServer::load_tls(std::string* error) {
    if (options_.tls_certificate.empty() && options_.tls_key.empty()) return true;
    if (options_.tls_certificate.empty() || options_.tls_key.empty()) {
        *error = "tls_certificate and tls_key must be given together";
        return false;
    }
    tls_.reset(new asio::ssl::context(asio::ssl::context::tls_server));
    tls_->set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2 |
                      asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 |
                      asio::ssl::context::no_tlsv1_1 | asio::ssl::context::single_dh_use);
    std::error_code ec;
    tls_->use_certificate_chain_file(options_.tls_certificate, ec);
    if (ec) {
        *error = "certificate " + options_.tls_certificate + ": " + ec.message();
        return false;
    }
    tls_->use_private_key_file(options_.tls_key, asio::ssl::context::pem, ec);
    if (ec || SSL_CTX_check_private_key(tls_->native_handle()) != 1) {
        *error = "key " + options_.tls_key + (ec ? ": " + ec.message() : ": does not match the certificate");
        return false;
    }
    return true;
}

bool RelayServer::listen_on(LoginSide side, const asio::ip::address& address, int port, int* bound_port,
                            std::string* error) {
    std::unique_ptr<Listener> l(new Listener(io_, side));
    asio::ip::tcp::endpoint endpoint(address, uint16_t(port));
    std::error_code ec;
    l->acceptor.open(endpoint.protocol(), ec);
    if (!ec) l->acceptor.set_option(Acceptor::reuse_address(true), ec);
    if (!ec && address.is_v6()) l->acceptor.set_option(asio::ip::v6_only(true), ec);
    if (!ec) l->acceptor.bind(endpoint, ec);
    if (!ec) l->acceptor.listen(1024, ec);
    if (ec) {
        *error = "port " + std::to_string(port) + " on " + address.to_string() + ": " + ec.message();
        return false;
    }
    *bound_port = l->acceptor.local_endpoint().port();
    accept_next(*l);
    listeners_.push_back(std::move(l));
    return true;
}

bool RelayServer::listen(LoginSide side, int port, int* bound_port, std::string* error) {
    if (!options_.bind_address.empty()) {
        std::error_code ec;
        asio::ip::address address = asio::ip::make_address(options_.bind_address, ec);
        if (ec) {
            *error = "bad bind address " + options_.bind_address;
            return false;
        }
        return listen_on(side, address, port, bound_port, error);
    }
    // Every address: IPv6 where the host has it, and IPv4, on one port number.
    std::string ignored;
    if (listen_on(side, asio::ip::address_v6::any(), port, bound_port, &ignored)) port = *bound_port;
    return listen_on(side, asio::ip::address_v4::any(), port, bound_port, error);
}

bool RelayServer::start(std::string* error) {
    return load_tls(error) && listen(LoginSide::TOOL, options_.tool_port, &tool_port_, error) &&
           listen(LoginSide::OPERATOR, options_.operator_port, &operator_port_, error);
}

void RelayServer::run() {
    io_.restart();
    io_.run();
}

void RelayServer::run_once(int max_wait_ms) {
    io_.restart();
    // The reactor learns of timers that came due on a virtual clock only when the
    // earliest timer changes: this one is always the earliest.
    poke_.expires_at(RelayClock::time_point());
    poke_.async_wait([](const std::error_code&) {});
    io_.poll();
    io_.run_one_for(std::chrono::milliseconds(max_wait_ms));
    io_.poll();
}

RelayServer::Stats RelayServer::stats() const {
    Stats s;
    s.sessions = sessions_.size();
    s.connections = open_connections_;
    for (const auto& entry : sessions_) {
        const RelaySession& session = entry.second;
        if (session.tool && session.op) ++s.paired;
        for (const ConnectionPtr& c : {session.tool, session.op}) {
            if (!c) continue;
            s.buffered += c->pending() + c->inbox_size();
            s.reads += c->reads;
        }
    }
    return s;
}

void RelayServer::accept_next(Listener& l) {
    l.acceptor.async_accept([this, &l](const std::error_code& ec, ServerSocket socket) {
        if (ec == asio::error::operation_aborted) return;
        if (!ec) {
            accepted(l.side, std::move(socket));
        } else if (ec == asio::error::no_descriptors || ec == asio::error::no_buffer_space ||
                   ec == asio::error::no_memory) {
            // Out of descriptors: try again shortly rather than spin on the backlog.
            l.retry.expires_at(relay_time_after_ms(ACCEPT_RETRY_MS));
            l.retry.async_wait([this, &l](const std::error_code& e) {
                if (!e) accept_next(l);
            });
            return;
        }
        accept_next(l);
    });
}

void RelayServer::accepted(LoginSide side, ServerSocket socket) {
    std::error_code ec;
    asio::ip::address address = socket.remote_endpoint(ec).address();
    if (ec) return;
    PeerAddress key = peer_address_of(address);
    const char* over = nullptr;
    auto use = address_use_.find(key);
    if (open_connections_ >= size_t(options_.max_connections)) over = "server at its connection limit";
    else if (use != address_use_.end() && use->second.open >= options_.max_connections_per_address)
        over = "too many connections from this address";
    else if (use != address_use_.end() && int(use->second.logging_in.size()) >= options_.max_logins_per_address)
        over = "too many unfinished logins from this address";
    if (over) {
        log("%s login refused from %s: %s", side_name(side), address.to_string().c_str(), over);
        return;  // the socket closes as it goes
    }
    ConnectionPtr c(new RelayConnection(std::move(socket), side == LoginSide::OPERATOR ? tls_.get() : nullptr,
                                        *this, side, address));
    ++open_connections_;
    AddressUse& entry = address_use_[key];
    ++entry.open;
    entry.logging_in.push_back(c.get());
    if (failures_.blocked(key, side, platform::monotonic_ms())) {
        refuse(*c, "too many failed logins", side == LoginSide::TOOL ? "NO" : "ERR too many failed logins\n",
               nullptr);
        return;
    }
    c->set_timer(uint64_t(options_.login_timeout_s) * 1000);
    c->start();
}

RelayConnection* RelayServer::peer_of(const RelayConnection& c) const {
    if (!c.session) return nullptr;
    return (c.side == LoginSide::TOOL ? c.session->op : c.session->tool).get();
}

size_t RelayServer::room_for(RelayConnection& c) {
    switch (c.phase) {
    case ConnectionPhase::LOGIN:
        return LOGIN_LINE_MAX - std::min(LOGIN_LINE_MAX, c.inbox_size());
    case ConnectionPhase::WAITING:
        return RELAY_CONNECTION_BUFFER - std::min(RELAY_CONNECTION_BUFFER, c.inbox_size());
    case ConnectionPhase::PAIRED: {
        // Stop reading while the other side's buffer is full: back-pressure.
        RelayConnection* peer = peer_of(c);
        return peer ? RELAY_CONNECTION_BUFFER - std::min(RELAY_CONNECTION_BUFFER, peer->pending())
                    : RELAY_CONNECTION_BUFFER;
    }
    case ConnectionPhase::CLOSING:
        break;
    }
    return RELAY_CONNECTION_BUFFER;
}

void RelayServer::on_bytes(RelayConnection& c, const char* data, size_t size) {
    switch (c.phase) {
    case ConnectionPhase::LOGIN:
        read_login(c, data, size);
        return;
    case ConnectionPhase::WAITING:
        c.inbox().append(data, size);  // for the tool, once it comes
        return;
    case ConnectionPhase::PAIRED:
        if (c.session && c.session->code_used) {
            c.session->since_ms = platform::monotonic_ms();
            idle_.queue.move_to_back(*c.session);
        }
        // A tool's bytes with no operator attached have nobody to go to.
        if (RelayConnection* peer = peer_of(c)) peer->send(data, size);
        return;
    case ConnectionPhase::CLOSING:
        return;
    }
}

void RelayServer::read_login(RelayConnection& c, const char* data, size_t size) {
    std::string& inbox = c.inbox();
    inbox.append(data, size);
    size_t lf = inbox.find('\n');
    if (lf == std::string::npos) {
        if (inbox.size() >= LOGIN_LINE_MAX - 1)
            refuse(c, "login line too long", c.side == LoginSide::TOOL ? "NO" : "ERR line too long\n", &NOISE);
        return;
    }
    std::string line = c.take_inbox();
    // What follows the line belongs to the session.
    std::string rest = line.substr(lf + 1);
    line.resize(lf);
    if (c.side == LoginSide::TOOL) login_tool(c, line);
    else login_operator(c, line);
    if (!rest.empty() && c.is_open() && c.phase != ConnectionPhase::CLOSING) on_bytes(c, rest.data(), rest.size());
}

void RelayServer::login_tool(RelayConnection& c, const std::string& line) {
    uint64_t now = platform::monotonic_ms();
    if (failures_.blocked(c.key(), c.side, now)) {
        refuse(c, "too many failed logins", "NO", nullptr);
        return;
    }
    uint32_t number = 0;
    if (!parse_tool_line(line, &number)) {
        refuse(c, "not a session code", "NO", &NOISE);
        return;
    }
    // Each wrong code tried is a guess; all addresses together get only so many a day.
    if (tool_guesses_.exhausted(now)) {
        refuse(c, "server-wide limit of wrong session codes reached", "NO", nullptr);
        return;
    }
    auto found = sessions_.find(number);
    // A code past its time is refused even if its timer has not had its turn yet.
    if (found != sessions_.end() && !found->second.code_used && now - found->second.since_ms >= unused_code_.limit_ms) {
        end_session(found->second, unused_code_.reason);
        found = sessions_.end();
    }
    if (found == sessions_.end() || found->second.code_used) {
        tool_guesses_.count(now);
        if (tool_guesses_.exhausted(now) && !tool_guesses_logged_) {
            tool_guesses_logged_ = true;
            log("server-wide limit of %d wrong session codes a day reached: tool logins refused",
                options_.max_tool_failures_per_day);
        }
        refuse(c, "wrong session code", "NO", &GUESS);
        return;
    }
    tool_guesses_logged_ = false;
    RelaySession& s = found->second;
    logged_in(c);
    unused_code_.queue.remove(s);
    s.code_used = true;
    s.tool = c.ref();
    c.session = &s;
    c.phase = ConnectionPhase::PAIRED;
    c.send("OK");
    start_timeout(s, idle_, now);
    log("session %llu: tool logged in from %s", (unsigned long long)s.id, c.address().c_str());
    if (RelayConnection* op = s.op.get()) {
        op->send("PAIRED\n");
        op->phase = ConnectionPhase::PAIRED;
        std::string held = op->take_inbox();
        c.send(held.data(), held.size());
        op->resume_reading();
    }
}

void RelayServer::login_operator(RelayConnection& c, const std::string& line) {
    OperatorLine parsed = parse_operator_line(line);
    if (failures_.blocked(c.key(), c.side, platform::monotonic_ms())) {
        refuse(c, "too many failed logins", "ERR too many failed logins\n", nullptr);
        return;
    }
    if (parsed.kind == OperatorLine::MALFORMED) {
        refuse(c, "malformed login line", "ERR expected OPEN <token> or JOIN <token> <code>\n", &NOISE);
        return;
    }
    if (!tokens_equal(parsed.token, options_.operator_token)) {
        refuse(c, "wrong token", "ERR wrong operator token\n", &GUESS);
        return;
    }
    RelaySession* s = nullptr;
    if (parsed.kind == OperatorLine::OPEN) {
        if (sessions_.size() >= size_t(options_.max_sessions)) {
            refuse(c, "server full", "ERR server full\n", nullptr);
            return;
        }
        s = new_session();
        log("session %llu: opened by operator from %s", (unsigned long long)s->id, c.address().c_str());
    } else {
        uint32_t code = 0;
        auto found = parse_session_code(parsed.code, &code) ? sessions_.find(code) : sessions_.end();
        if (found == sessions_.end()) {
            refuse(c, "no such session", "ERR no such session\n", &NOISE);
            return;
        }
        s = &found->second;
        if (s->op) {
            refuse(c, "session already has an operator", "ERR session already has an operator\n", nullptr);
            return;
        }
        log("session %llu: operator joined from %s", (unsigned long long)s->id, c.address().c_str());
    }
    logged_in(c);
    s->op = c.ref();
    c.session = s;
    c.send("CODE " + session_code_text(s->code) + "\n");
    if (s->tool) {
        c.send("PAIRED\n");
        c.phase = ConnectionPhase::PAIRED;
        s->since_ms = platform::monotonic_ms();
        idle_.queue.move_to_back(*s);
    } else {
        c.phase = ConnectionPhase::WAITING;
    }
}

void RelayServer::logged_in(RelayConnection& c) {
    c.cancel_timer();
    auto use = address_use_.find(c.key());
    if (use == address_use_.end()) return;
    std::vector<RelayConnection*>& list = use->second.logging_in;
    list.erase(std::remove(list.begin(), list.end(), &c), list.end());
}

RelaySession* RelayServer::new_session() {
    uint32_t code;
    do code = random_session_code();
    while (sessions_.count(code));
    RelaySession& s = sessions_[code];
    s.id = next_session_id_++;
    s.code = code;
    start_timeout(s, unused_code_, platform::monotonic_ms());
    return &s;
}

void RelayServer::refuse(RelayConnection& c, const char* reason, const std::string& answer,
                         const FailureKind* kind) {
    log("%s login refused from %s: %s", side_name(c.side), c.address().c_str(), reason);
    c.send(answer);
    c.finish(CLOSING_GRACE_MS);
    if (kind) count_failure(c, *kind);
}

void RelayServer::count_failure(RelayConnection& c, FailureKind kind) {
    PeerAddress key = c.key();
    switch (failures_.record(key, c.side, kind, platform::monotonic_ms())) {
    case FailureTable::Outcome::COUNTED:
        table_full_logged_ = false;
        return;
    case FailureTable::Outcome::TABLE_FULL:
        if (!table_full_logged_)
            log("failure table full of blocked addresses: refusing logins from addresses it does not hold");
        table_full_logged_ = true;
        return;
    case FailureTable::Outcome::NOW_BLOCKED:
        break;
    }
    log("address %s blocked for %s logins after too many failed logins", c.address().c_str(), side_name(c.side));
    // Its other connections still logging in on that port go at once.
    auto use = address_use_.find(key);
    if (use == address_use_.end()) return;
    std::vector<ConnectionPtr> others(use->second.logging_in.begin(), use->second.logging_in.end());
    for (const ConnectionPtr& other : others) {
        if (other.get() == &c || other->side != c.side || other->phase != ConnectionPhase::LOGIN) continue;
        refuse(*other, "too many failed logins",
               c.side == LoginSide::TOOL ? "NO" : "ERR too many failed logins\n", nullptr);
    }
}

void RelayServer::on_end(RelayConnection& c, const char* why) {
    if (c.phase == ConnectionPhase::LOGIN) {
        // A login cut short reveals nothing, but counts against the address all the same.
        std::string reason = std::string("connection ") + why + " before the login line";
        log("%s login refused from %s: %s", side_name(c.side), c.address().c_str(), reason.c_str());
        count_failure(c, NOISE);
        return;
    }
    RelaySession* s = c.session;
    if (!s) return;
    if (c.side == LoginSide::TOOL) {
        end_session(*s, "tool left");
        return;
    }
    c.session = nullptr;
    s->op.reset();
    log("session %llu: operator left", (unsigned long long)s->id);
}

void RelayServer::on_sent(RelayConnection& c) {
    // Room again: the side that fills this buffer may read again.
    RelayConnection* source = peer_of(c);
    if (source && c.pending() < RELAY_CONNECTION_BUFFER) source->resume_reading();
}

void RelayServer::on_timer(RelayConnection& c) {
    if (c.phase == ConnectionPhase::LOGIN) {
        refuse(c, "login timed out", "", &NOISE);
        return;
    }
    c.close();  // the grace time after a last answer ran out
}

void RelayServer::on_closed(RelayConnection& c) {
    --open_connections_;
    auto use = address_use_.find(c.key());
    if (use != address_use_.end()) {
        std::vector<RelayConnection*>& list = use->second.logging_in;
        list.erase(std::remove(list.begin(), list.end(), &c), list.end());
        if (--use->second.open <= 0) address_use_.erase(use);
    }
    if (c.session) on_end(c, "closed");
}

void RelayServer::start_timeout(RelaySession& s, SessionTimeout& t, uint64_t now_ms) {
    s.since_ms = now_ms;
    t.queue.push_back(s);
    arm(t);
}

// The timer runs for the front only; an earlier front's time restarted meanwhile makes
// it run early, find nothing due and wait again.
void RelayServer::arm(SessionTimeout& t) {
    if (t.armed || t.queue.empty()) return;
    uint64_t due_ms = t.queue.front()->since_ms + t.limit_ms, now_ms = platform::monotonic_ms();
    t.armed = true;
    t.timer.expires_at(relay_time_after_ms(due_ms > now_ms ? due_ms - now_ms : 0));
    t.timer.async_wait([this, &t](const std::error_code& ec) {
        if (!ec) timeout_ran(t);
    });
}

void RelayServer::timeout_ran(SessionTimeout& t) {
    t.armed = false;
    uint64_t now_ms = platform::monotonic_ms();
    while (RelaySession* s = t.queue.front()) {
        if (now_ms - s->since_ms < t.limit_ms) break;
        end_session(*s, t.reason);
    }
    arm(t);
}

void RelayServer::end_session(RelaySession& s, const char* reason) {
    log("session %llu closed: %s", (unsigned long long)s.id, reason);
    ConnectionPtr tool = std::move(s.tool);
    ConnectionPtr op = std::move(s.op);
    timeout_of(s).queue.remove(s);
    sessions_.erase(s.code);
    for (const ConnectionPtr& c : {tool, op}) {
        if (!c) continue;
        c->session = nullptr;
        if (c->phase == ConnectionPhase::WAITING) c->send(std::string("ERR ") + reason + "\n");
        c->finish(CLOSING_GRACE_MS);
    }
}
