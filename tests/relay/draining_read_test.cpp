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
    char buffer[8];
    std::string got;  // what the reads delivered, then "|" and the error of the last one
    int done = 0;

    Ends() {
        asio::ip::tcp::acceptor listener(io, {asio::ip::address_v4::loopback(), 0});
        writer.connect(listener.local_endpoint());
        reader.reset(new Socket(listener.accept(io.get_executor())));
        reader->non_blocking(true);
    }
    void read() {
        reader->async_read_draining(buffer, sizeof buffer, [this](const std::error_code& ec, size_t n) {
            got.append(buffer, n);
            if (ec) got += "|" + ec.message();
            ++done;
        });
    }
    void write(const std::string& bytes) { asio::write(writer, asio::buffer(bytes)); }
    // Runs the loop, polling the sockets, for at least 10 ms and until `reads` reads have
    // completed (at most a second).
    void settle(int reads) {
        for (int spins = 0; spins < 2 || (done < reads && spins < 200); ++spins) {
            asio::steady_timer tick(io, std::chrono::milliseconds(5));
            tick.async_wait([](const std::error_code&) {});
            io.restart();
            io.run_for(std::chrono::milliseconds(5));
        }
    }
};

TEST(DrainingRead, NoByteIsLeftWaitingAfterAReadThatDrainedTheSocket) {
    Ends e;
    e.write("abc");
    e.read();
    e.settle(1);
    EXPECT_EQ(e.got, "abc");  // short: the socket counts as drained
    // Bytes that come while no read is pending must still be found by the next one.
    e.write("de");
    e.settle(0);  // the loop sees them come
    e.read();
    e.settle(2);
    EXPECT_EQ(e.got, "abcde");
    // A read that waits is woken by the next bytes.
    e.read();
    e.settle(2);
    EXPECT_EQ(e.done, 2);
    e.write("0123456789");  // fills the buffer: the rest is read at once after
    e.settle(3);
    e.read();
    e.settle(4);
    EXPECT_EQ(e.got, "abcde0123456789");
    e.writer.close();
    e.read();
    e.settle(5);
    EXPECT_EQ(e.got, "abcde0123456789|End of file");
}

TEST(DrainingRead, EndsLikeAnyReadWhenCancelledClosedOrAbandoned) {
    {
        Ends e;
        e.read();
        e.reader->cancel();
        e.settle(1);
        EXPECT_EQ(e.got, "|Operation aborted.");
    }
    {
        Ends e;
        e.read();
        e.reader->close();
        e.settle(1);
        EXPECT_EQ(e.got, "|Operation aborted.");
        e.read();  // on a closed socket: an error, not a crash
        e.settle(2);
        EXPECT_EQ(e.got, "|Operation aborted.|Bad file descriptor");
    }
    {
        // The loop is destroyed with the read pending: no call, nothing leaked.
        Ends e;
        e.read();
        e.settle(0);
        EXPECT_EQ(e.done, 0);
        e.reader.reset();
    }
}

}  // namespace
