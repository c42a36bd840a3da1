// TCP client sockets on POSIX: non-blocking descriptors and poll with time-outs.
#include "platform/tcp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/clock.h"

namespace platform {
namespace {

// Time-outs here count real time (real_time_ms), whatever clock the program's own
// waits use: these waits are on the network.

// Polls one descriptor in slices, calling the hook between them. 1 when `events`
// (or an error or hang-up) came, 0 on time-out, SOCKET_ERROR on failure.
int wait_for(int fd, short events, const SocketWait& wait) {
    const int64_t deadline = real_time_ms() + (wait.timeout_ms > 0 ? wait.timeout_ms : 0);
    for (;;) {
        const int64_t left = deadline - real_time_ms();
        int slice = left > 0 ? int(left) : 0;
        if (wait.hook && slice > SOCKET_WAIT_SLICE_MS) slice = SOCKET_WAIT_SLICE_MS;
        pollfd p{fd, events, 0};
        const int ready = poll(&p, 1, slice);
        if (ready > 0) return 1;
        if (ready < 0 && errno != EINTR) return SOCKET_ERROR;
        if (real_time_ms() >= deadline) return 0;
        if (wait.hook) wait.hook(wait.context);
    }
}

// The one lookup that may be running in the resolver. It lives in static storage
// because a lookup that timed out cannot always be cancelled and writes here when it
// ends.
struct PendingLookup {
    char host[256];
    addrinfo hints;
    gaicb request;
    bool started;
};
PendingLookup lookup;

// Frees what an ended lookup left. False while it still runs.
bool collect_lookup() {
    if (!lookup.started) return true;
    if (gai_error(&lookup.request) == EAI_INPROGRESS) return false;
    if (lookup.request.ar_result) freeaddrinfo(lookup.request.ar_result);
    lookup.request.ar_result = nullptr;
    lookup.started = false;
    return true;
}

}  // namespace

bool resolve_ipv4(const char* host, uint32_t* address, const SocketWait& wait) {
    if (!host || !*host || std::strlen(host) >= sizeof lookup.host) return false;
    in_addr numeric{};
    if (inet_pton(AF_INET, host, &numeric) == 1) {
        *address = numeric.s_addr;
        return true;
    }
    if (!collect_lookup()) return false;

    std::memset(&lookup, 0, sizeof lookup);
    std::strcpy(lookup.host, host);
    lookup.hints.ai_family = AF_INET;
    lookup.hints.ai_socktype = SOCK_STREAM;
    lookup.request.ar_name = lookup.host;
    lookup.request.ar_request = &lookup.hints;
    gaicb* list[1] = {&lookup.request};
    if (getaddrinfo_a(GAI_NOWAIT, list, 1, nullptr) != 0) return false;
    lookup.started = true;

    const int64_t deadline = real_time_ms() + (wait.timeout_ms > 0 ? wait.timeout_ms : 0);
    while (gai_error(&lookup.request) == EAI_INPROGRESS) {
        const int64_t left = deadline - real_time_ms();
        if (left <= 0) {
            gai_cancel(&lookup.request);
            collect_lookup();
            return false;
        }
        const long slice = wait.hook && left > SOCKET_WAIT_SLICE_MS ? SOCKET_WAIT_SLICE_MS : long(left);
        const timespec ts{slice / 1000, (slice % 1000) * 1000000};
        const gaicb* waiting[1] = {&lookup.request};
        gai_suspend(waiting, 1, &ts);
        if (wait.hook && gai_error(&lookup.request) == EAI_INPROGRESS) wait.hook(wait.context);
    }
    bool found = false;
    if (gai_error(&lookup.request) == 0) {
        for (const addrinfo* a = lookup.request.ar_result; a; a = a->ai_next) {
            if (a->ai_family == AF_INET && a->ai_addr) {
                *address = reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr;
                found = true;
                break;
            }
        }
    }
    collect_lookup();
    return found;
}

int tcp_connect(uint32_t address, uint16_t port, const SocketWait& wait) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return SOCKET_ERROR;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = address;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0) return fd;
    if (errno != EINPROGRESS) {
        close(fd);
        return SOCKET_ERROR;
    }
    const int ready = wait_for(fd, POLLOUT, wait);
    int error = 0;
    socklen_t length = sizeof error;
    if (ready == 1 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0) return fd;
    close(fd);
    return ready == 0 ? SOCKET_TIMED_OUT : SOCKET_ERROR;
}

size_t send_all(int socket, const void* data, size_t size, const SocketWait& wait) {
    const char* bytes = static_cast<const char*>(data);
    const int64_t deadline = real_time_ms() + (wait.timeout_ms > 0 ? wait.timeout_ms : 0);
    size_t sent = 0;
    while (sent < size) {
        const ssize_t n = send(socket, bytes + sent, size - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) break;
        SocketWait rest = wait;
        rest.timeout_ms = int(deadline - real_time_ms());
        if (rest.timeout_ms <= 0 || wait_for(socket, POLLOUT, rest) != 1) break;
    }
    return sent;
}

int receive_some(int socket, void* buffer, size_t size, const SocketWait& wait) {
    const int64_t deadline = real_time_ms() + (wait.timeout_ms > 0 ? wait.timeout_ms : 0);
    for (;;) {
        const ssize_t n = recv(socket, buffer, size, 0);
        if (n >= 0) return int(n);
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return SOCKET_ERROR;
        SocketWait rest = wait;
        rest.timeout_ms = int(deadline - real_time_ms());
        if (rest.timeout_ms < 0) rest.timeout_ms = 0;
        const int ready = wait_for(socket, POLLIN, rest);
        if (ready == 0) return SOCKET_TIMED_OUT;
        if (ready < 0) return SOCKET_ERROR;
    }
}

int wait_readable(int socket, const SocketWait& wait) { return wait_for(socket, POLLIN, wait); }

void close_socket(int socket) {
    if (socket >= 0) close(socket);
}

}  // namespace platform
