// The relay socket over the platform's TCP client, and the module serial port of the
// serial layer, as the relay sees them.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include "net/relay_io.h"
#include "platform/tcp_socket.h"
#include "serial/comport.h"
#include "serial/module_serial_port.h"

namespace {

// A reply goes out whole or the connection counts as broken: give the peer a moment.
constexpr int SEND_TIMEOUT_MS = 5000;

platform::SocketWait wait_for(int timeout_ms) {
    platform::SocketWait wait;
    wait.timeout_ms = timeout_ms;
    return wait;
}

class TcpRelaySocket : public RelaySocket {
public:
    explicit TcpRelaySocket(int fd) : fd_(fd) {}
    ~TcpRelaySocket() override { platform::close_socket(fd_); }
    int send(const uint8_t* data, int n) override {
        return int(platform::send_all(fd_, data, size_t(n), wait_for(SEND_TIMEOUT_MS)));
    }
    int receive(uint8_t* data, int n) override {
        int got = platform::receive_some(fd_, data, size_t(n), wait_for(0));
        return got == platform::SOCKET_TIMED_OUT ? -1 : got;
    }
    int wait_readable(int timeout_ms) override {
        int r = platform::wait_readable(fd_, wait_for(timeout_ms));
        return r < 0 ? -1 : r;
    }

private:
    int fd_;
};

class ModuleSerial : public RelaySerialPort {
public:
    bool is_open() override { return module_serial_port.open != 0; }
    void open() override { open_module_serial_port(); }
    void close() override { close_module_serial_port(); }
    int read(uint8_t* data, int n) override {
        return is_open() ? comport_read(module_serial_port.index, data, n) : 0;
    }
    int write(const uint8_t* data, int n) override {
        return is_open() ? comport_write(module_serial_port.index, data, n) : -1;
    }
};

ModuleSerial module_serial;

}  // namespace

RelayConnectResult connect_relay_socket(const std::string& host, int port, int timeout_ms,
                                        std::unique_ptr<RelaySocket>* out) {
    uint32_t address = 0;
    if (!platform::resolve_ipv4(host.c_str(), &address, wait_for(timeout_ms))) return RELAY_NO_HOST;
    int fd = platform::tcp_connect(address, uint16_t(port), wait_for(timeout_ms));
    if (fd < 0) return RELAY_NO_CONNECTION;
    // Replies often go out in two sends ("@R..." then "@G", "@E6" then "@E7"): Nagle
    // would hold the second for the server's delayed acknowledgement, 40 ms a time.
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    out->reset(new TcpRelaySocket(fd));
    return RELAY_CONNECTED;
}

RelaySerialPort& relay_serial_port() { return module_serial; }
