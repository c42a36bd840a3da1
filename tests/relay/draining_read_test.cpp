// The busy connections' read: whatever it tells the event loop about a drained socket,
// no byte may be left waiting, and it must end like any other read.
#include <gtest/gtest.h>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <asio/write.hpp>
#include <memory>
#include <string>

#include "relay/draining_read.h"

namespace {

using Socket = DrainingSocket<asio::io_context::executor_type>;

struct Ends {
    asio::io_context io;
    std::unique_ptr<Socket> reader;
    asio::ip::tcp::socket writer{io};
    std::string got;  // what the reads delivered, each error after a "|"
    int started = 0, done = 0;

    Ends() {
        asio::ip::tcp::acceptor listener(io, {asio::ip::address_v4::loopback(), 0});
        writer.connect(listener.local_endpoint());
        reader.reset(new Socket(listener.accept(io.get_executor())));
        reader->non_blocking(true);
    }
    void read() {
        ++started;
        reader->async_read_draining(8, [this](const std::error_code& ec, LentBuffer buffer, size_t n) {
            if (n) got.append(buffer.data(), n);
            if (ec) got += "|" + ec.message();
            ++done;
        });
    }
    // Runs the loop, polling the sockets, for 10 ms and until the reads started have
    // completed (at most 100 ms: a read may rightly wait).
    void settle() {
        for (int spins = 0; spins < 2 || (done < started && spins < 20); ++spins) {
            asio::steady_timer tick(io, std::chrono::milliseconds(5));
            tick.async_wait([](const std::error_code&) {});
            io.restart();
            io.run_for(std::chrono::milliseconds(5));
        }
    }
};

TEST(DrainingRead, LeavesNoByteWaitingAndEndsLikeAnyRead) {
    // A script of steps, the loop run after each: 'r' starts a read (of at most 8 bytes),
    // 'e' ends the peer's side, 'c' cancels the reads, 'x' closes the socket; a digit is a
    // byte the peer sends. A read pending at the end is abandoned with the loop.
    const struct {
        const char* script;
        const char* delivered;
    } cases[] = {
        {"123r", "123"},                 // nothing left: the socket counts as drained
        {"12r3r", "123"},                // bytes that came with no read pending are found
        {"r1r2", "12"},                  // a waiting read is woken by the next bytes
        {"0123456789rr", "0123456789"},  // a full read leaves the rest to the next, at once
        {"12rer", "12|End of file"},
        {"12err", "12|End of file"},     // the read that takes the last bytes also takes the end
        {"rc", "|Operation aborted."},
        {"rxr", "|Operation aborted.|Bad file descriptor"},
        {"r", ""},  // nothing called, nothing leaked
    };
    for (const auto& c : cases) {
        Ends e;
        for (const char* step = c.script; *step; ++step) {
            if (*step == 'r') e.read();
            else if (*step == 'e') e.writer.close();
            else if (*step == 'c') e.reader->cancel();
            else if (*step == 'x') e.reader->close();
            else asio::write(e.writer, asio::buffer(step, 1));
            e.settle();
        }
        EXPECT_EQ(e.got, c.delivered) << c.script;
    }
}

// A read waiting for bytes holds no buffer; reads that found bytes hold one each until
// their handlers had them, so that reads done before any handler runs keep their bytes.
TEST(DrainingRead, LendsABufferOnlyFromTheReadToItsHandler) {
    ReadBuffers& buffers = ReadBuffers::mine();
    Ends waiting, first, second;
    waiting.read();
    waiting.settle();
    EXPECT_EQ(buffers.lent(), 0u);
    asio::write(first.writer, asio::buffer("ab", 2));
    asio::write(second.writer, asio::buffer("cd", 2));
    first.read();  // done at once, its handler not yet run
    second.read();
    EXPECT_EQ(buffers.lent(), 2u);
    asio::write(waiting.writer, asio::buffer("xy", 2));
    for (Ends* e : {&waiting, &first, &second}) e->settle();
    EXPECT_EQ(waiting.got + first.got + second.got, "xyabcd");
    EXPECT_EQ(buffers.lent(), 0u);
}

}  // namespace
