// A relay connection's reads, writes, closing and timer.
#include "relay/relay_connection.h"

#include <asio/post.hpp>
#include <asio/write.hpp>
#include <algorithm>

#include "relay/exact_allocation.h"

namespace {

constexpr size_t READ_CHUNK = DRAINING_READ_MAX;
// Reads in a row before the connection lets the others have a turn.
constexpr int READS_PER_TURN = 4;

}  // namespace

RelayConnection::RelayConnection(ServerSocket socket, asio::ssl::context* tls, ConnectionEvents& events,
                                 LoginSide side_, const asio::ip::address& peer)
    : open_(true),
      reading_(false),
      writing_wait_(false),
      finishing_(false),
      handshaken_(false),
      started_(false),
      busy_(false),
      draining_(false),
      side(side_),
      peer_((peer.is_v4() ? asio::ip::make_address_v6(asio::ip::v4_mapped, peer.to_v4()) : peer.to_v6()).to_bytes()),
      socket_(std::move(socket)),
      events_(events) {
    std::error_code ignored;
    socket_.set_option(asio::ip::tcp::no_delay(true), ignored);
    socket_.non_blocking(true, ignored);
    if (tls) tls_.reset(new Tls(socket_, *tls));
}

asio::ip::address RelayConnection::peer() const {
    asio::ip::address_v6 v6(peer_);
    if (v6.is_v4_mapped()) return asio::ip::make_address_v4(asio::ip::v4_mapped, v6);
    return v6;
}

RelayConnection::Spare& RelayConnection::spare() {
    if (!spare_) spare_.reset(new Spare);
    return *spare_;
}

void RelayConnection::trim() {
    if (spare_ && spare_->out.empty() && spare_->inbox.empty() && !spare_->timer) spare_.reset();
}

std::string& RelayConnection::inbox() { return spare().inbox; }

std::string RelayConnection::take_inbox() {
    std::string held;
    if (spare_) held.swap(spare_->inbox);
    trim();
    return held;
}

// Every call that can end the connection holds a reference for its length: the server
// may drop the last other one (the session's) from inside it.
void RelayConnection::start() {
    ConnectionPtr hold(this);
    started_ = true;
    if (!tls_) {
        read_some();
        return;
    }
    reading_ = true;
    tls_->stream.async_handshake(asio::ssl::stream_base::server, [self = ref()](const std::error_code& ec) {
        self->reading_ = false;
        if (!self->open_) return;
        if (ec) {
            self->end("TLS handshake failed");
            return;
        }
        self->handshaken_ = true;
        self->events_.on_handshaken(*self);
        self->tls_write();
        self->tls_read();
    });
}

void RelayConnection::resume_reading() {
    ConnectionPtr hold(this);
    if (!open_ || reading_ || (tls_ && !handshaken_)) return;
    if (tls_) tls_read();
    else read_some();
}

// A read that came back short drained the socket: wait at once rather than spend a read
// on learning that nothing is left.
void RelayConnection::read_some() {
    for (int turn = 0; turn < READS_PER_TURN; ++turn) {
        if (!open_) return;
        ++reads;
        size_t room = finishing_ ? READ_CHUNK : std::min(READ_CHUNK, events_.room_for(*this));
        if (room == 0) return;  // resume_reading starts again
        char buffer[READ_CHUNK];
        std::error_code ec;
        size_t n = socket_.read_some(asio::buffer(buffer, room), ec);
        if (ec == asio::error::would_block || ec == asio::error::try_again) {
            wait_readable();
            return;
        }
        if (ec) {
            end(ec == asio::error::eof ? "closed" : "failed");
            return;
        }
        deliver(buffer, n);
        if (n < room) {
            if (open_ && !reading_) wait_readable();
            return;
        }
    }
    reading_ = true;
    asio::post(socket_.get_executor(), [self = ref()] {
        self->reading_ = false;
        self->read_some();
    });
}

// A readiness wait costs asio a call to arm the descriptor again (an epoll_ctl) before
// the read that follows it. A busy connection waits with a read instead, which is tried
// at once unless the last read drained the socket (see draining_read.h) and otherwise
// completes as soon as the descriptor is ready: a message then costs its read and its
// send, and under load every call saved is a turn sooner for every other connection.
// Idle connections, ten thousands of them, keep the readiness wait, whose operation is
// allocated to its exact size.
void RelayConnection::wait_readable() {
    if (busy_ && !finishing_) {
        read_draining();
        return;
    }
    reading_ = true;
    socket_.async_wait(ServerSocket::wait_read, exactly_allocated([self = ref()](const std::error_code& ec) {
        self->reading_ = false;
        if (!self->open_) return;
        if (ec == asio::error::operation_aborted) self->wait_readable();
        else self->read_some();  // also finds the end or the error
    }));
}

void RelayConnection::read_draining() {
    size_t room = std::min(READ_CHUNK, events_.room_for(*this));
    if (room == 0) return;  // resume_reading starts again
    reading_ = draining_ = true;
    socket_.async_read_draining(room, [self = ref(), room](const std::error_code& ec, LentBuffer buffer, size_t n) {
        self->reading_ = self->draining_ = false;
        if (!self->open_) return;
        if (ec == asio::error::operation_aborted) {
            self->wait_readable();  // quiet_down took the read back
            return;
        }
        ++self->reads;
        if (ec) {
            self->end(ec == asio::error::eof ? "closed" : "failed");
            return;
        }
        self->deliver(buffer.data(), n);
        if (!self->open_ || self->reading_) return;
        if (n == room) self->read_some();  // more may wait, or the peer's room ran out
        else self->wait_readable();
    });
}

void RelayConnection::quiet_down() {
    busy_ = false;
    if (!draining_) return;
    // Takes back every pending operation; their handlers start them again, the read as
    // a readiness wait.
    std::error_code ignored;
    socket_.cancel(ignored);
}

void RelayConnection::tls_read() {
    if (!open_ || reading_) return;
    size_t room = finishing_ ? READ_CHUNK : std::min(READ_CHUNK, events_.room_for(*this));
    if (room == 0) return;
    if (!tls_->buffer) tls_->buffer.reset(new char[READ_CHUNK]);
    reading_ = true;
    tls_->stream.async_read_some(asio::buffer(tls_->buffer.get(), room),
                          [self = ref()](const std::error_code& ec, size_t n) {
                              self->reading_ = false;
                              ++self->reads;
                              if (!self->open_) return;
                              if (ec) {
                                  self->end(ec == asio::error::eof || ec == asio::ssl::error::stream_truncated
                                                ? "closed"
                                                : "failed");
                                  return;
                              }
                              self->deliver(self->tls_->buffer.get(), n);
                              self->tls_read();
                          });
}

void RelayConnection::deliver(const char* data, size_t size) {
    if (!finishing_) events_.on_bytes(*this, data, size);
}

void RelayConnection::send(const char* data, size_t size) {
    if (!open_ || size == 0) return;
    if (tls_) {
        spare().out.append(data, size);
        tls_write();
        return;
    }
    if (pending() == 0) {
        std::error_code ec;
        size_t n = socket_.write_some(asio::buffer(data, size), ec);
        // A failed write is found again, and reported, after the write wait below.
        if (!ec) {
            data += n;
            size -= n;
        }
        if (size == 0) return;
    }
    spare().out.append(data, size);
    wait_writable();
}

void RelayConnection::wait_writable() {
    if (writing_wait_) return;
    writing_wait_ = true;
    socket_.async_wait(ServerSocket::wait_write, [self = ref()](const std::error_code& ec) {
        self->writing_wait_ = false;
        if (!self->open_) return;
        if (ec == asio::error::operation_aborted) self->wait_writable();  // see quiet_down
        else self->write_queued();
    });
}

void RelayConnection::write_queued() {
    Spare& queued = spare();
    std::string& out = queued.out;
    while (queued.out_sent < out.size()) {
        std::error_code ec;
        size_t n = socket_.write_some(asio::buffer(out.data() + queued.out_sent, out.size() - queued.out_sent), ec);
        if (ec == asio::error::would_block || ec == asio::error::try_again) break;
        if (ec) {
            if (finishing_) close();
            else end("failed");
            return;
        }
        queued.out_sent += n;
    }
    bool all_sent = queued.out_sent == out.size();
    if (all_sent) {
        std::string().swap(out);  // an idle connection keeps no buffer
        queued.out_sent = 0;
        trim();
    } else if (queued.out_sent >= out.size() / 2) {
        out.erase(0, queued.out_sent);
        queued.out_sent = 0;
    }
    if (!all_sent) wait_writable();
    else if (finishing_) after_finish();
    if (open_) events_.on_sent(*this);
}

void RelayConnection::tls_write() {
    if (!open_ || !handshaken_ || !tls_->writing.empty()) return;
    if (pending() == 0) {
        if (finishing_) after_finish();
        return;
    }
    tls_->writing.swap(spare_->out);
    trim();
    asio::async_write(tls_->stream, asio::buffer(tls_->writing), [self = ref()](const std::error_code& ec, size_t) {
        std::string().swap(self->tls_->writing);
        if (!self->open_) return;
        if (ec) {
            if (self->finishing_) self->close();
            else self->end("failed");
            return;
        }
        self->tls_write();
        if (self->open_) self->events_.on_sent(*self);
    });
}

void RelayConnection::set_timer(uint64_t ms) {
    if (!open_) return;
    std::unique_ptr<RelayTimer>& timer = spare().timer;
    if (!timer) timer.reset(new RelayTimer(socket_.get_executor()));
    timer->expires_at(relay_time_after_ms(ms));
    timer->async_wait([self = ref()](const std::error_code& ec) {
        // A timer set again after it ran out but before this ran is not due yet.
        if (ec || !self->open_ || !self->spare_ || !self->spare_->timer ||
            self->spare_->timer->expiry() > RelayClock::now())
            return;
        self->cancel_timer();
        self->events_.on_timer(*self);
    });
}

void RelayConnection::cancel_timer() {
    if (!spare_) return;
    spare_->timer.reset();
    trim();
}

void RelayConnection::finish(uint64_t grace_ms) {
    ConnectionPtr hold(this);
    if (!open_ || finishing_) return;
    if (tls_ && !handshaken_) {
        close();  // nothing can be said before the handshake
        return;
    }
    finishing_ = true;
    phase = ConnectionPhase::CLOSING;
    set_timer(grace_ms);
    if (tls_) {
        tls_write();
    } else if (pending() == 0) {
        after_finish();
    }
    resume_reading();  // to see the peer's close; what it still sends is dropped
}

void RelayConnection::after_finish() {
    if (tls_) {
        if (!handshaken_) {
            close();
            return;
        }
        tls_->stream.async_shutdown([self = ref()](const std::error_code&) { self->close(); });
        return;
    }
    std::error_code ignored;
    socket_.shutdown(ServerSocket::shutdown_send, ignored);
}

void RelayConnection::end(const char* why) {
    ConnectionPtr hold(this);
    if (!open_) return;
    if (!finishing_) events_.on_end(*this, why);
    // The server may have chosen to finish it (send what is queued first).
    if (open_ && !(finishing_ && phase == ConnectionPhase::CLOSING && pending() > 0)) close();
}

void RelayConnection::close() {
    ConnectionPtr hold(this);
    if (!open_) return;
    open_ = false;
    std::error_code ignored;
    socket_.close(ignored);
    spare_.reset();
    events_.on_closed(*this);
}
