// IPv4 TCP client connections with a time-out on every wait: name resolution,
// connecting, sending, receiving and readiness.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// Called every SOCKET_WAIT_SLICE_MS while a call below waits, so that a GUI can
// handle its events; nullptr waits quietly.
using SocketWaitHook = void (*)(void* context);
struct SocketWait {
    int timeout_ms = 5000;
    SocketWaitHook hook = nullptr;
    void* context = nullptr;
};
constexpr int SOCKET_WAIT_SLICE_MS = 50;

// Results of the waiting calls besides a count.
constexpr int SOCKET_ERROR = -1;
constexpr int SOCKET_TIMED_OUT = -2;

// Resolves `host` (a name or a dotted IPv4 address) to its first IPv4 address, in
// network byte order. False when it does not resolve within the time-out. A lookup
// that outlives its time-out runs on in the resolver and is collected by the next
// call; while it runs, further lookups fail at once.
bool resolve_ipv4(const char* host, uint32_t* address, const SocketWait& wait);

// Connects a new TCP socket to address:port (address in network byte order). Gives
// the socket, non-blocking and close-on-exec, or SOCKET_ERROR (refused, unreachable)
// or SOCKET_TIMED_OUT.
int tcp_connect(uint32_t address, uint16_t port, const SocketWait& wait);

// Sends all `size` bytes, waiting for room as needed. Gives the number of bytes sent:
// fewer than `size` when the peer went away, an error occurred or the time-out (for
// the whole call) ran out.
size_t send_all(int socket, const void* data, size_t size, const SocketWait& wait);

// Waits until something can be read (or the peer closed), then reads up to `size`
// bytes. Gives the count (> 0), 0 when the peer closed the connection, SOCKET_ERROR
// or SOCKET_TIMED_OUT.
int receive_some(int socket, void* buffer, size_t size, const SocketWait& wait);

// Waits until `socket` is readable: 1 when it is (data or a close), 0 on time-out,
// SOCKET_ERROR on failure. A time-out of 0 only looks.
int wait_readable(int socket, const SocketWait& wait);

// Closes a socket from tcp_connect; negative values are ignored.
void close_socket(int socket);

}  // namespace platform
