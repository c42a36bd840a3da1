// The relay server: tools log in with a one-time session code that an operator opened,
// and the server then passes bytes between the two until either side leaves. One
// thread, one poll loop, many sessions.
//
// Tool port: the tool sends its password line (the session code and LF) and gets the
// two bytes "OK", or "NO" and the end of the connection.
// Operator port: one line first, then raw bytes once paired:
//   "OPEN <token>\n"        -> "CODE <code>\n", later "PAIRED\n" when the tool logs in
//   "JOIN <token> <code>\n" -> "CODE <code>\n", then "PAIRED\n" once the tool is there
//   on refusal              -> "ERR <reason>\n" and the end of the connection
// The session ends when the tool leaves, when nobody used its code in time, or when
// nothing passed either way for the idle time; an operator may leave and another join.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "relay/relay_options.h"

// Bytes held for one connection before the other side is no longer read.
constexpr size_t RELAY_CONNECTION_BUFFER = 64 * 1024;
constexpr int SESSION_CODE_DIGITS = 8;
constexpr size_t LOGIN_LINE_MAX = 128;

class RelayServer {
public:
    // Log lines go to `log` (one per session event); nullptr keeps quiet.
    RelayServer(const RelayOptions& options, FILE* log);
    ~RelayServer();
    RelayServer(const RelayServer&) = delete;
    RelayServer& operator=(const RelayServer&) = delete;

    // Opens both listening ports. False with a reason when one cannot be bound.
    bool start(std::string* error);
    // The ports actually bound (differ from the options when those asked for 0).
    int tool_port() const { return tool_port_; }
    int operator_port() const { return operator_port_; }

    // Waits at most `max_wait_ms` for sockets, serves what is ready and runs the
    // expiry timers on the platform clock.
    void run_once(int max_wait_ms);

    struct Stats {
        size_t sessions = 0;
        size_t paired = 0;
        size_t connections = 0;
        size_t buffered = 0;  // bytes waiting in the connections' buffers
    };
    Stats stats() const;

private:
    enum class Side { TOOL, OPERATOR };
    enum class Phase { LOGIN, WAITING, PAIRED, CLOSING };
    struct Connection {
        int fd = -1;
        Side side = Side::TOOL;
        Phase phase = Phase::LOGIN;
        uint32_t address = 0;    // IPv4, host order
        std::string line;        // login line so far
        std::string out;         // bytes to send to this connection
        uint64_t session = 0;    // 0: none
        uint64_t deadline_ms = 0;
        bool write_shut = false;
        size_t pending() const { return out.size(); }
    };
    struct Session {
        uint64_t id = 0;
        std::string code;
        int tool = -1;
        int operator_fd = -1;
        bool code_used = false;
        uint64_t created_ms = 0;
        uint64_t last_traffic_ms = 0;
    };
    struct Failures {
        int count = 0;
        uint64_t window_start_ms = 0;
    };

    void accept_all(int listener, Side side);
    void serve(int fd, short revents);
    void read_login(Connection& c);
    void login_tool(Connection& c, const std::string& code);
    void login_operator(Connection& c, const std::string& line);
    void forward(Connection& c);
    void flush(Connection& c);
    void discard_input(Connection& c);
    void refuse(Connection& c, const char* answer);
    void finish(Connection& c);
    void drop(int fd, const char* reason);
    void end_session(uint64_t id, const char* reason);
    void expire();
    bool wants_read(const Connection& c) const;
    Connection* peer_of(const Connection& c);
    bool blocked(uint32_t address);
    void record_failure(uint32_t address);
    std::string new_code();
    void log(const char* format, ...) __attribute__((format(printf, 2, 3)));

    RelayOptions options_;
    FILE* log_;
    int tool_listener_ = -1;
    int operator_listener_ = -1;
    int tool_port_ = 0;
    int operator_port_ = 0;
    uint64_t next_session_id_ = 1;
    std::unordered_map<int, Connection> connections_;
    std::unordered_map<uint64_t, Session> sessions_;
    std::unordered_map<std::string, uint64_t> codes_;
    std::unordered_map<uint32_t, Failures> failures_;
    std::vector<int> closing_;  // fds dropped during a round, erased after it
};

// A uniformly random code of SESSION_CODE_DIGITS decimal digits from the system's
// generator.
std::string random_session_code();

// Compares without stopping at the first difference.
bool tokens_equal(const std::string& a, const std::string& b);
