// One relay connection: its socket (plain, or TLS on the operator port), the bytes it
// still has to send, what it read before its session took it, and its timer. Reads
// and writes are chained through completion handlers on the server's io_context;
// reading stops while the server says the bytes would have nowhere to go.
#pragma once

#include <asio/ip/tcp.hpp>
#include <asio/ssl/context.hpp>
#include <asio/ssl/stream.hpp>
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "relay/draining_read.h"
#include "relay/login_limits.h"
#include "relay/peer_address.h"
#include "relay/relay_clock.h"

using ServerSocket = asio::basic_stream_socket<asio::ip::tcp, RelayExecutor>;
class RelayConnection;
struct RelaySession;

// What a connection asks of its server.
class ConnectionEvents {
public:
    // How many bytes the connection may read now; 0 pauses reading until resume_reading.
    virtual size_t room_for(RelayConnection& c) = 0;
    virtual void on_bytes(RelayConnection& c, const char* data, size_t size) = 0;
    // The peer closed or the connection failed; `why` is for the log.
    virtual void on_end(RelayConnection& c, const char* why) = 0;
    // Some queued bytes went out.
    virtual void on_sent(RelayConnection& c) = 0;
    // The connection's timer ran out.
    virtual void on_timer(RelayConnection& c) = 0;
    // The TLS handshake succeeded (a failed one ends the connection).
    virtual void on_handshaken(RelayConnection& c) = 0;
    // The socket is closed: the last call for this connection.
    virtual void on_closed(RelayConnection& c) = 0;

protected:
    ~ConnectionEvents() = default;
};

// LOOKUP: a tool's line waits for its turn to be looked up. WAITING: an operator waits
// for its tool.
enum class ConnectionPhase : uint8_t { LOGIN, LOOKUP, WAITING, PAIRED, CLOSING };

// Shares a connection between its session and its pending handlers. The count lives in
// the connection: a shared_ptr's control block and weak self-reference would add 32
// bytes to each of ten thousands.
class ConnectionPtr {
public:
    ConnectionPtr() = default;
    explicit ConnectionPtr(RelayConnection* c);
    ConnectionPtr(const ConnectionPtr& other) : ConnectionPtr(other.c_) {}
    ConnectionPtr(ConnectionPtr&& other) noexcept : c_(other.c_) { other.c_ = nullptr; }
    ConnectionPtr& operator=(ConnectionPtr other) noexcept {
        std::swap(c_, other.c_);
        return *this;
    }
    ~ConnectionPtr() { reset(); }
    void reset();
    RelayConnection* get() const { return c_; }
    RelayConnection* operator->() const { return c_; }
    RelayConnection& operator*() const { return *c_; }
    explicit operator bool() const { return c_ != nullptr; }

private:
    RelayConnection* c_ = nullptr;
};

class RelayConnection {
public:
    // `tls` is null for plain text. The socket must be open.
    RelayConnection(ServerSocket socket, asio::ssl::context* tls, ConnectionEvents& events, LoginSide side,
                    const asio::ip::address& address);
    RelayConnection(const RelayConnection&) = delete;
    RelayConnection& operator=(const RelayConnection&) = delete;

    // The calls below that can end the connection (start, resume_reading, finish, close)
    // keep it alive until they return; a caller that uses it afterwards holds its own
    // reference (ref()).

    // Starts the TLS handshake, if any, then reading.
    void start();
    // Reads again after room_for gave 0; harmless when reading already.
    void resume_reading();
    // Queues bytes; what the socket takes at once is written at once.
    void send(const char* data, size_t size);
    void send(const std::string& text) { send(text.data(), text.size()); }
    // Bytes queued and not yet written.
    size_t pending() const {
        return (spare_ ? spare_->out.size() - spare_->out_sent : 0) + (tls_ ? tls_->writing.size() : 0);
    }
    // Arms the connection's one timer (a later call replaces it); on_timer when it runs out.
    void set_timer(uint64_t ms);
    void cancel_timer();
    // Sends what is queued, then closes once the peer has closed too or `grace_ms` ran
    // out, so that a last answer is not lost to a reset.
    void finish(uint64_t grace_ms);
    // Closes at once; queued bytes are dropped.
    void close();
    bool is_open() const { return open_; }
    bool tls() const { return tls_ != nullptr; }
    bool started() const { return started_; }
    // Whether bytes come often now: the server says so as they come. A busy connection
    // waits for its next bytes with a read, so that they are read as soon as they are
    // there; an idle one waits for readiness alone, a smaller operation.
    void set_busy(bool busy) { busy_ = busy; }
    bool busy() const { return busy_; }
    // No longer busy, and a pending read is swapped for a readiness wait now. Not from
    // inside the connection's own calls.
    void quiet_down();
    bool waits_with_read() const { return draining_; }

    ConnectionPtr ref() { return ConnectionPtr(this); }
    PeerAddress key() const { return peer_address_of(peer()); }
    std::string address() const { return peer().to_string(); }  // for the log
    // The login line so far; later, an operator's bytes held until its tool arrives.
    std::string& inbox();
    size_t inbox_size() const { return spare_ ? spare_->inbox.size() : 0; }
    // Gives the held bytes away (and what they took).
    std::string take_inbox();

private:
    // The small fields first and together: padding here is paid ten thousands of times.
    uint32_t refs_ = 0;
    // A bit each (set in the constructor).
    bool open_ : 1;
    bool reading_ : 1;  // a read or a readiness wait is in flight
    bool writing_wait_ : 1;
    bool finishing_ : 1;
    bool handshaken_ : 1;
    bool started_ : 1;
    bool busy_ : 1;
    bool draining_ : 1;  // the read in flight is a read, not a readiness wait

public:
    const LoginSide side;
    ConnectionPhase phase = ConnectionPhase::LOGIN;
    uint32_t reads = 0;  // read calls made, for the server's statistics
    uint32_t last_bytes_ms = 0;  // when bytes last came, for the server (wraps)
    RelaySession* session = nullptr;

private:
    friend class ConnectionPtr;
    asio::ip::address peer() const;
    // Frees the spare state once nothing in it is in use.
    void trim();

    void read_some();
    void wait_readable();
    void read_draining();
    void deliver(const char* data, size_t size);
    void wait_writable();
    void write_queued();
    void end(const char* why);
    void after_finish();
    void tls_read();
    void tls_write();

    // Only operators may use TLS: its state is kept apart, so that the many plain
    // connections do not carry it.
    struct Tls {
        Tls(ServerSocket& socket, asio::ssl::context& context) : stream(socket, context) {}
        asio::ssl::stream<ServerSocket&> stream;
        std::string writing;  // the bytes of the write in flight
        std::unique_ptr<char[]> buffer;
    };

    // What a connection needs only while it logs in, waits for its peer, has bytes queued
    // or closes: a paired connection that idles carries none of it.
    struct Spare {
        std::string out;    // bytes to send, from out_sent on: the front is dropped in
        size_t out_sent = 0;  // large steps, not moved for every write
        std::string inbox;  // see inbox()
        std::unique_ptr<RelayTimer> timer;  // only while a time-out runs
    };
    Spare& spare();

    std::array<uint8_t, 16> peer_;  // IPv4 in its mapped form
    DrainingSocket<RelayExecutor> socket_;
    std::unique_ptr<Tls> tls_;
    std::unique_ptr<Spare> spare_;
    ConnectionEvents& events_;
};

inline ConnectionPtr::ConnectionPtr(RelayConnection* c) : c_(c) {
    if (c_) ++c_->refs_;
}

inline void ConnectionPtr::reset() {
    if (c_ && --c_->refs_ == 0) delete c_;
    c_ = nullptr;
}
