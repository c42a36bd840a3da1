// A socket whose reads tell the event loop when they drained it, and that read into
// buffers lent at the moment of reading.
//
// Asio's epoll reactor tries every new read at once, before it waits, and stops doing
// so only after a read that found the end of the stream. A connection that waits for
// its next message right after reading the last one therefore pays a read that finds
// nothing, once a message: a third of the system calls a relayed message costs. The
// read below asks the kernel, with each read, how much is left (TCP_INQ, which also
// counts a peer's end of stream not yet reported), and reports a read that left nothing
// as one that drained the socket: the reactor takes that as its cue to wait for the
// descriptor's next edge instead of trying first. The length of a read alone would not
// do: a read returns the last bytes and silently takes the end of stream behind them,
// which then raises no edge of its own. Without the kernel's answer every read counts
// as one that may have left something. What it reads and how it completes are
// otherwise those of async_read_some.
//
// A pending read holds no buffer: it borrows one from the thread's ReadBuffers when the
// bytes are there, and the handler gives it back. Thousands of connections waiting for
// their next message then hold no memory for it, and the buffer a message lands in is
// the one the last message used, still in the cache, not one of thousands gone cold.
//
// It hands the reactor an operation of its own through the socket service, as asio's
// reads do; that interface is the 1.22 series'. Other versions and reactors, and systems
// without TCP_INQ, fall back to async_read_some into a buffer lent at the start and held
// while the read waits: correct, only one call a message dearer, and a buffer a busy
// connection dearer.
#pragma once

#include <asio/basic_stream_socket.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/version.hpp>
#include <cstddef>
#include <system_error>
#include <utility>

#include "relay/read_buffers.h"

#if defined(ASIO_HAS_EPOLL) && ASIO_VERSION >= 102200 && ASIO_VERSION < 102300 && !defined(ASIO_HAS_IO_URING)
#include <asio/detail/reactive_socket_service_base.hpp>
#include <asio/detail/reactor.hpp>
#include <asio/detail/reactor_op.hpp>
#include <asio/error.hpp>
#include <asio/recycling_allocator.hpp>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#ifdef TCP_INQ
#define QV450_DRAINING_READ 1
#endif
#endif

template <typename Executor>
class DrainingSocket : public asio::basic_stream_socket<asio::ip::tcp, Executor> {
    using Base = asio::basic_stream_socket<asio::ip::tcp, Executor>;

public:
    explicit DrainingSocket(Base&& socket) : Base(std::move(socket)) {
#ifdef QV450_DRAINING_READ
        // Refused (an older kernel): the reads then never claim to have drained the socket.
        int one = 1;
        ::setsockopt(this->native_handle(), IPPROTO_TCP, TCP_INQ, &one, sizeof one);
#endif
    }

    // Reads at most `size` (0 < size <= DRAINING_READ_MAX) bytes into a lent buffer, then
    // calls handler(error_code, LentBuffer, bytes) on the socket's executor, never from
    // inside this call; the buffer holds the bytes read (after an error, it may be empty).
    template <typename Handler>
    void async_read_draining(size_t size, Handler&& handler);

private:
#ifdef QV450_DRAINING_READ
    template <typename Handler>
    class ReadOp : public asio::detail::reactor_op {
    public:
        // Operations come from the thread's recycled blocks, as asio's own do: one a
        // message would otherwise cost a malloc and a free.
        static ReadOp* make(int fd, size_t size, Handler handler) {
            void* block = asio::recycling_allocator<ReadOp>().allocate(1);
            return new (block) ReadOp(fd, size, std::move(handler));
        }

    private:
        ReadOp(int fd, size_t size, Handler&& handler)
            : reactor_op(std::error_code(), &ReadOp::perform, &ReadOp::complete),
              fd_(fd),
              size_(size),
              handler_(std::move(handler)) {}

        static status perform(reactor_op* base) {
            ReadOp* op = static_cast<ReadOp*>(base);
            if (!op->buffer_.data()) op->buffer_ = LentBuffer::lend();
            iovec part{op->buffer_.data(), op->size_};
            alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
            msghdr message{};
            message.msg_iov = &part;
            message.msg_iovlen = 1;
            message.msg_control = control;
            message.msg_controllen = sizeof control;
            ssize_t n;
            do n = ::recvmsg(op->fd_, &message, 0);
            while (n < 0 && errno == EINTR);
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                op->buffer_ = LentBuffer();  // the reactor waits, without it
                return not_done;
            }
            if (n <= 0) {
                op->ec_ = n == 0 ? std::error_code(asio::error::eof)
                                 : std::error_code(errno, asio::error::get_system_category());
                return done_and_exhausted;
            }
            op->bytes_transferred_ = size_t(n);
            return bytes_left(message) == 0 ? done_and_exhausted : done;
        }

        // What the kernel says is left to read after this read; -1 when it did not say.
        static int bytes_left(msghdr& message) {
            for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c))
                if (c->cmsg_level == IPPROTO_TCP && c->cmsg_type == TCP_CM_INQ &&
                    c->cmsg_len >= CMSG_LEN(sizeof(int))) {
                    int left;
                    std::memcpy(&left, CMSG_DATA(c), sizeof left);
                    return left;
                }
            return -1;
        }

        // `owner` is null when the io_context is destroyed with the read pending.
        static void complete(void* owner, asio::detail::scheduler_operation* base, const std::error_code&, size_t) {
            ReadOp* op = static_cast<ReadOp*>(base);
            Handler handler(std::move(op->handler_));
            LentBuffer buffer(std::move(op->buffer_));
            std::error_code ec = op->ec_;
            size_t n = op->bytes_transferred_;
            op->~ReadOp();
            asio::recycling_allocator<ReadOp>().deallocate(op, 1);
            if (owner) handler(ec, std::move(buffer), n);
        }

        int fd_;
        size_t size_;
        Handler handler_;
        LentBuffer buffer_;  // from the read that found bytes to its handler
    };

    // The socket service starts operations with a protected call; naming it through a
    // class of its own makes it reachable without a lookup of the reactor per read.
    struct Service : asio::detail::reactive_socket_service_base {
        using reactive_socket_service_base::start_op;
    };
#endif
};

template <typename Executor>
template <typename Handler>
void DrainingSocket<Executor>::async_read_draining(size_t size, Handler&& handler) {
#ifdef QV450_DRAINING_READ
    // On a closed socket the service reports the bad descriptor through the handler.
    using Op = ReadOp<typename std::decay<Handler>::type>;
    Op* op = Op::make(this->native_handle(), size, std::forward<Handler>(handler));
    auto start = &Service::start_op;
    (this->impl_.get_service().*start)(this->impl_.get_implementation(), asio::detail::reactor::read_op, op,
                                       false, true, false);
#else
    LentBuffer buffer = LentBuffer::lend();
    char* data = buffer.data();
    Base::async_read_some(asio::buffer(data, size),
                          [buffer = std::move(buffer), handler = std::forward<Handler>(handler)](
                              const std::error_code& ec, size_t n) mutable { handler(ec, std::move(buffer), n); });
#endif
}
