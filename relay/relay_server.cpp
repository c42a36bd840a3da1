// The relay server's listeners, connection slots and TLS handshakes.
#include "relay/relay_server.h"

#include <openssl/ssl.h>
#include <sys/random.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <ctime>

#include "platform/clock.h"
#include "relay/relay_server_parts.h"

using relay_parts::side_name;

namespace {

constexpr uint64_t ACCEPT_RETRY_MS = 100;
// Codes once open that are remembered, so that their tools are not taken for guessers.
constexpr size_t RETIRED_CODES_KEPT = 65536;

FailureLimits failure_limits(const RelayOptions& o, bool blocks) {
    FailureLimits limits;
    limits.blocks = blocks;
    limits.guesses = o.max_failures;
    limits.noise = o.max_noise_failures;
    limits.window_ms = uint64_t(o.failure_window_s) * 1000;
    limits.table_size = size_t(o.failure_table_size);
    return limits;
}

// Refuses a connection before it holds a slot: a plain-text answer if the socket takes
// it at once, and what the peer already sent is read, so that closing does not reset
// the connection under the answer.
void close_at_once(ServerSocket& socket, const char* answer) {
    std::error_code ignored;
    socket.non_blocking(true, ignored);
    if (*answer) socket.write_some(asio::buffer(answer, std::strlen(answer)), ignored);
    socket.shutdown(ServerSocket::shutdown_send, ignored);
    char sink[1024];
    socket.read_some(asio::buffer(sink), ignored);
    socket.close(ignored);
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
    static_assert(RANGE == SESSION_CODE_SPACE, "codes span the code space");
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
      idle_(io_, "idle"), busy_watch_(io_.get_executor()), operator_failures_(failure_limits(options, true)),
      tool_guesses_(failure_limits(options, false)), guess_budget_(options.guesses_per_hour),
      retired_codes_(RETIRED_CODES_KEPT), lines_timer_(io_.get_executor()) {
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
    // Every address: IPv6 where the host has it, and IPv4, on one port number. A free port
    // that IPv6 picked may be taken for IPv4: then pick another.
    for (int attempt = 0;; ++attempt) {
        std::string ignored;
        bool v6 = listen_on(side, asio::ip::address_v6::any(), port, bound_port, &ignored);
        if (listen_on(side, asio::ip::address_v4::any(), v6 ? *bound_port : port, bound_port, error)) return true;
        if (!v6 || port != 0 || attempt == 100) return false;
        listeners_.pop_back();
    }
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
    s.outside_sessions = loose_.size();
    s.waiting_lines = waiting_lines_.size();
    s.handshakes = handshaking_.size();
    for (const auto& entry : sessions_) {
        const RelaySession& session = entry.second;
        if (session.tool && session.op) ++s.paired;
        for (const ConnectionPtr& c : {session.tool, session.op}) {
            if (!c) continue;
            s.buffered += c->pending() + c->inbox_size();
            s.reads += c->reads;
            s.waiting_reads += c->waits_with_read();
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

const char* RelayServer::over_a_limit(const PeerAddress& key) {
    auto use = address_use_.find(key);
    if (use == address_use_.end()) return nullptr;
    if (use->second.open >= options_.max_connections_per_address) return "too many connections from this address";
    if (use->second.outside >= options_.max_logins_per_address)
        return "too many unfinished logins from this address";
    return nullptr;
}

bool RelayServer::make_room() {
    size_t share = size_t(options_.max_connections) - size_t(options_.max_connections) / SESSION_SLOT_SHARE;
    bool full = open_connections_ >= size_t(options_.max_connections) || loose_.size() >= share;
    if (!full) {
        loose_full_logged_ = false;
        return true;
    }
    Loose* oldest = loose_order_.front();
    if (!oldest) return false;
    if (!loose_full_logged_)
        log("connections outside sessions fill their share: the oldest make way for new ones");
    loose_full_logged_ = true;
    ConnectionPtr(oldest->c)->close();
    return true;
}

void RelayServer::accepted(LoginSide side, ServerSocket socket) {
    std::error_code ec;
    asio::ip::address address = socket.remote_endpoint(ec).address();
    if (ec) return;
    PeerAddress key = peer_address_of(address);
    if (side == LoginSide::OPERATOR && operator_failures_.blocked(key, platform::monotonic_ms())) {
        log("operator login refused from %s: too many failed logins", address.to_string().c_str());
        close_at_once(socket, tls_ ? "" : "ERR too many failed logins\n");
        return;
    }
    const char* over = over_a_limit(key);
    if (!over && !make_room()) over = "server at its connection limit";
    if (over) {
        log("%s login refused from %s: %s", side_name(side), address.to_string().c_str(), over);
        return;  // the socket closes as it goes
    }
    ConnectionPtr c(new RelayConnection(std::move(socket), side == LoginSide::OPERATOR ? tls_.get() : nullptr,
                                        *this, side, address));
    ++open_connections_;
    AddressUse& entry = address_use_[key];
    ++entry.open;
    ++entry.outside;
    Loose& loose = loose_[c.get()];
    loose.c = c.get();
    loose_order_.push_back(loose);
    c->set_timer(uint64_t(options_.login_timeout_s) * 1000);
    if (!c->tls()) {
        c->start();
        return;
    }
    waiting_handshakes_.push_back(c);
    start_handshakes();
}

// Handshakes cost the one event loop a key exchange each: only so many at a time, and
// only so many for one address, in the order their connections came.
void RelayServer::start_handshakes() {
    for (auto it = waiting_handshakes_.begin();
         it != waiting_handshakes_.end() && handshaking_.size() < size_t(options_.max_tls_handshakes);) {
        RelayConnection& c = **it;
        if (!c.is_open()) {
            it = waiting_handshakes_.erase(it);
            continue;
        }
        PeerAddress key = c.key();
        AddressUse& use = address_use_[key];
        if (use.handshakes >= options_.max_tls_handshakes_per_address) {
            ++it;
            continue;
        }
        ConnectionPtr next = std::move(*it);
        it = waiting_handshakes_.erase(it);
        ++use.handshakes;
        handshaking_[&c] = key;
        next->start();
    }
    bool waiting = !waiting_handshakes_.empty();
    if (waiting && !handshakes_full_logged_) log("TLS handshakes at their limit: new operator connections wait");
    handshakes_full_logged_ = waiting;
}

void RelayServer::handshake_over(RelayConnection& c) {
    auto it = handshaking_.find(&c);
    if (it == handshaking_.end()) return;
    auto use = address_use_.find(it->second);
    if (use != address_use_.end()) --use->second.handshakes;
    handshaking_.erase(it);
    start_handshakes();
}

void RelayServer::joined_session(RelayConnection& c) {
    auto it = loose_.find(&c);
    if (it == loose_.end()) return;
    loose_order_.remove(it->second);
    loose_.erase(it);
    auto use = address_use_.find(c.key());
    if (use != address_use_.end()) --use->second.outside;
}
