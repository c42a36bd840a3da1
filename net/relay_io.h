// What the remote-access relay talks through: the relay socket, the module serial port
// and the firmware image buffer, each behind a narrow interface so that the relay's
// logic runs against the real ones in the program and against scripted ones in tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// A connected TCP stream to the relay server.
class RelaySocket {
public:
    virtual ~RelaySocket() = default;
    // Sends up to n bytes in one call; the count sent, or -1 on failure.
    virtual int send(const uint8_t* data, int n) = 0;
    // Receives up to n bytes in one call: the count, 0 when the peer closed, -1 on failure.
    virtual int receive(uint8_t* data, int n) = 0;
    // Waits at most timeout_ms for data: 1 readable (or closed), 0 not yet, -1 failure.
    virtual int wait_readable(int timeout_ms) = 0;
};

enum RelayConnectResult { RELAY_CONNECTED, RELAY_NO_HOST, RELAY_NO_CONNECTION };

// Resolves `host` (IPv4) and connects to `port`, giving up after timeout_ms.
RelayConnectResult connect_relay_socket(const std::string& host, int port, int timeout_ms,
                                        std::unique_ptr<RelaySocket>* out);

// The module serial port as the relay uses it.
class RelaySerialPort {
public:
    virtual ~RelaySerialPort() = default;
    virtual bool is_open() = 0;
    // Finds and opens the module's port; does nothing when it is open.
    virtual void open() = 0;
    virtual void close() = 0;
    // What has arrived, up to n bytes, without waiting.
    virtual int read(uint8_t* data, int n) = 0;
    // The count written, or -1.
    virtual int write(const uint8_t* data, int n) = 0;
};

// The serial layer's module port, as the program's relay uses it.
RelaySerialPort& relay_serial_port();

// The firmware image buffer "@E0" and "@E1" fill: bytes[0..capacity) and its size.
struct RelayImage {
    uint8_t* bytes;
    int capacity;
    int* size;
};
RelayImage relay_firmware_image();
