// The relay server: tools log in with a one-time session code that an operator opened,
// and the server then passes bytes between the two until either side leaves. One
// thread, one Asio io_context, many sessions.
//
// Tool port: the tool sends its password line (the session code and LF) and gets the
// two bytes "OK", or "NO" and the end of the connection.
// Operator port (TLS when a certificate is configured): one line first, then raw bytes
// once paired:
//   "OPEN <token>\n"        -> "CODE <code>\n", later "PAIRED\n" when the tool logs in
//   "JOIN <token> <code>\n" -> "CODE <code>\n", then "PAIRED\n" once the tool is there
//   on refusal              -> "ERR <reason>\n" and the end of the connection
// The session ends when the tool leaves, when nobody used its code in time, or when
// nothing passed either way for the idle time; an operator may leave and another join.
//
// Guessing codes: an open code always logs its tool in. A tool's line is looked up in
// its turn: its address waits longer after each wrong code it sent (guess_delay_ms), and
// codes that never existed are looked up only as fast as guesses_per_hour allows, all
// addresses together (GuessBudget). Codes once open are no guesses.
#pragma once

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/ip/v6_only.hpp>
#include <asio/ssl/context.hpp>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "relay/deadline_queue.h"
#include "relay/login_line.h"
#include "relay/login_limits.h"
#include "relay/relay_clock.h"
#include "relay/relay_connection.h"
#include "relay/relay_options.h"

// Bytes held for one connection before the other side is no longer read.
constexpr size_t RELAY_CONNECTION_BUFFER = 64 * 1024;
// Connections outside sessions (logging in, or closing after a refusal) may hold all but
// this share of max_connections; beyond it the oldest of them makes way for a new one.
constexpr int SESSION_SLOT_SHARE = 8;  // one eighth

// Kept small and without a timer of its own: ten thousand of them stay idle for hours.
struct RelaySession {
    uint64_t id = 0;
    ConnectionPtr tool;
    ConnectionPtr op;
    // When the code was made while nobody used it; from then on the last traffic.
    uint64_t since_ms = 0;
    RelaySession* queue_prev = nullptr;  // in the code queue, then in the idle queue
    RelaySession* queue_next = nullptr;
    uint32_t code = 0;
    bool code_used = false;
};

class RelayServer : public ConnectionEvents {
public:
    // Log lines go to `log` (one per session event and per refused login); nullptr keeps
    // quiet.
    RelayServer(const RelayOptions& options, FILE* log);
    ~RelayServer();
    RelayServer(const RelayServer&) = delete;
    RelayServer& operator=(const RelayServer&) = delete;

    // Opens the listening ports (and loads the TLS certificate). False with a reason
    // when one cannot be bound or the certificate cannot be used.
    bool start(std::string* error);
    // The ports actually bound (differ from the options when those asked for 0).
    int tool_port() const { return tool_port_; }
    int operator_port() const { return operator_port_; }

    // Serves until stop(); stop() may come from another thread or a signal handler's
    // completion.
    void run();
    void stop() { io_.stop(); }
    asio::io_context& io() { return io_; }
    // Waits at most `max_wait_ms` for something to do, serves what is ready, and runs
    // the timers that are due on the platform clock (tests and benchmarks).
    void run_once(int max_wait_ms);

    struct Stats {
        size_t sessions = 0;
        size_t paired = 0;
        size_t connections = 0;
        size_t buffered = 0;  // bytes waiting in the sessions' buffers
        uint64_t reads = 0;   // read calls made on the sessions' connections
        size_t outside_sessions = 0;  // connections logging in or refused
        size_t waiting_lines = 0;     // tool lines waiting for their turn
        size_t handshakes = 0;        // TLS handshakes in progress
        size_t waiting_reads = 0;     // busy connections waiting with a read
    };
    Stats stats() const;

private:
    using Acceptor = asio::basic_socket_acceptor<asio::ip::tcp, RelayExecutor>;
    struct Listener {
        Listener(asio::io_context& io, LoginSide s) : acceptor(io.get_executor()), retry(io.get_executor()), side(s) {}
        Acceptor acceptor;
        RelayTimer retry;
        LoginSide side;
    };
    // Per address: its open connections, those outside sessions (logging in, or refused
    // and closing), and its TLS handshakes in progress.
    struct AddressUse {
        int open = 0;
        int outside = 0;
        int handshakes = 0;
    };
    struct WaitingLine {
        ConnectionPtr c;
        uint32_t code;
    };
    // A connection outside any session, in the order it came.
    struct Loose {
        RelayConnection* c = nullptr;
        Loose* queue_prev = nullptr;
        Loose* queue_next = nullptr;
    };

    // relay_server.cpp: ports, accepting, slots and TLS handshakes.
    bool listen(LoginSide side, int port, int* bound_port, std::string* error);
    bool listen_on(LoginSide side, const asio::ip::address& address, int port, int* bound_port,
                   std::string* error);
    bool load_tls(std::string* error);
    void accept_next(Listener& listener);
    void accepted(LoginSide side, ServerSocket socket);
    // Why a connection from `key` cannot be taken now, or null.
    const char* over_a_limit(const PeerAddress& key);
    // Closes the oldest connection outside a session when they fill their share or the
    // server is full; false when none can make way.
    bool make_room();
    void start_handshakes();
    void handshake_over(RelayConnection& c);
    void joined_session(RelayConnection& c);

    // relay_logins.cpp: login lines, lookups and refusals.
    void read_login(RelayConnection& c, const char* data, size_t size);
    void tool_line(RelayConnection& c, const std::string& line);
    void serve_waiting_lines();
    void look_up(RelayConnection& c, uint32_t code);
    void login_tool(RelayConnection& c, RelaySession& s);
    void login_operator(RelayConnection& c, const std::string& line);
    const char* cannot_open(const PeerAddress& key) const;
    void logged_in(RelayConnection& c);
    // Logs the refusal, answers, closes and, on the operator port, counts the failure
    // (kind null: not counted).
    void refuse(RelayConnection& c, const char* reason, const std::string& answer, const FailureKind* kind);
    void count_failure(RelayConnection& c, FailureKind kind);
    void note_crowded(const FailureTable& table, const char* port);

    // relay_sessions.cpp: events of connections, sessions and their timers.
    size_t room_for(RelayConnection& c) override;
    void on_bytes(RelayConnection& c, const char* data, size_t size) override;
    void on_end(RelayConnection& c, const char* why) override;
    void on_sent(RelayConnection& c) override;
    void on_timer(RelayConnection& c) override;
    void on_handshaken(RelayConnection& c) override;
    void on_closed(RelayConnection& c) override;

    // The sessions whose codes wait for a tool, and those paired, each in the order their
    // time started; one timer for each.
    struct SessionTimeout {
        SessionTimeout(asio::io_context& io, const char* why) : timer(io.get_executor()), reason(why) {}
        DeadlineQueue<RelaySession> queue;
        RelayTimer timer;
        bool armed = false;
        uint64_t limit_ms = 0;
        const char* reason;
    };
    RelaySession* new_session(const PeerAddress& opener);
    void code_closed(RelaySession& s);  // its code is used or ends unused
    SessionTimeout& timeout_of(const RelaySession& s) { return s.code_used ? idle_ : unused_code_; }
    void start_timeout(RelaySession& s, SessionTimeout& t, uint64_t now_ms);
    void arm(SessionTimeout& t);
    void timeout_ran(SessionTimeout& t);
    void end_session(RelaySession& s, const char* reason);
    void watch_busy();
    void quiet_down_busy();
    RelayConnection* peer_of(const RelayConnection& c) const;
    void log(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // First, so that it goes last: the connections' sockets need its services.
    asio::io_context io_;
    RelayOptions options_;
    FILE* log_;
    std::unique_ptr<asio::ssl::context> tls_;
    std::vector<std::unique_ptr<Listener>> listeners_;
    RelayTimer poke_;
    int tool_port_ = 0;
    int operator_port_ = 0;
    uint64_t next_session_id_ = 1;
    size_t open_connections_ = 0;
    std::unordered_map<uint32_t, RelaySession> sessions_;  // by code
    SessionTimeout unused_code_;
    SessionTimeout idle_;
    RelayTimer busy_watch_;
    bool busy_watch_armed_ = false;
    uint64_t busy_quiet_before_ms_ = 0;  // sessions quiet since before this have been quieted down
    std::unordered_map<PeerAddress, AddressUse, PeerAddressHash> address_use_;

    std::unordered_map<RelayConnection*, Loose> loose_;
    DeadlineQueue<Loose> loose_order_;
    bool loose_full_logged_ = false;

    std::unordered_map<RelayConnection*, PeerAddress> handshaking_;  // by connection: its address
    std::deque<ConnectionPtr> waiting_handshakes_;
    bool handshakes_full_logged_ = false;

    std::unordered_map<uint32_t, PeerAddress> open_codes_;  // unused codes: who opened them
    std::unordered_map<PeerAddress, int, PeerAddressHash> open_codes_by_address_;

    FailureTable operator_failures_;
    FailureTable tool_guesses_;
    GuessBudget guess_budget_;
    RetiredCodes retired_codes_;
    // Tool lines waiting to be looked up, fewest guesses from their address first, then
    // in the order they came.
    std::map<std::pair<int, uint64_t>, WaitingLine> waiting_lines_;
    uint64_t next_line_ = 0;
    RelayTimer lines_timer_;
    bool lines_timer_armed_ = false;
    uint64_t lines_timer_due_ms_ = 0;
    bool budget_spent_logged_ = false;
    bool crowded_logged_[2] = {false, false};
};

// A uniformly random code below SESSION_CODE_SPACE from the system's generator.
uint32_t random_session_code();

// Compares without stopping at the first difference.
bool tokens_equal(const std::string& a, const std::string& b);
