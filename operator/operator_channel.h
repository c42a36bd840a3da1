// The operator's byte channel to the relay server: TLS that verifies the server's
// certificate and name, or plain text when the operator asks for it.
#pragma once

#include <cstddef>
#include <string>

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;

struct OperatorSecurity {
    bool insecure = false;  // plain text: only for a server without a certificate
    std::string ca_file;    // certificates to trust; empty: the system's store
};

class OperatorChannel {
public:
    OperatorChannel() = default;
    ~OperatorChannel();
    OperatorChannel(const OperatorChannel&) = delete;
    OperatorChannel& operator=(const OperatorChannel&) = delete;

    // Connects to host (a name, an IPv4 or an IPv6 address) and port, then makes the TLS
    // connection unless `security` says plain text. False with a reason otherwise.
    bool connect(const std::string& host, int port, const OperatorSecurity& security, int timeout_ms,
                 std::string* error);
    // Sends every byte; false when the connection is lost.
    bool send_all(const char* data, size_t size);
    // Waits at most timeout_ms (negative: for ever) and reads what came: the count,
    // RECEIVE_CLOSED (the peer closed the connection), RECEIVE_SHUT_DOWN (it ended TLS
    // as the protocol asks, so it meant to), RECEIVE_FAILED or RECEIVE_TIMED_OUT.
    int receive(char* buffer, size_t size, int timeout_ms);
    static constexpr int RECEIVE_CLOSED = 0;
    static constexpr int RECEIVE_FAILED = -1;
    static constexpr int RECEIVE_TIMED_OUT = -2;
    static constexpr int RECEIVE_SHUT_DOWN = -3;
    // The socket, for waiting on it beside other inputs. Bytes that TLS already read are
    // never left behind: receive takes all of them.
    int fd() const { return fd_; }

private:
    bool start_tls(const std::string& host, const OperatorSecurity& security, int timeout_ms, std::string* error);
    // Waits for what an OpenSSL call asked for; false when the time ran out.
    bool wait_for(int ssl_result, int timeout_ms);
    // Why the handshake failed, with the way on for that reason.
    std::string tls_failure(const std::string& host, const OperatorSecurity& security, bool late);

    int fd_ = -1;
    SSL_CTX* context_ = nullptr;
    SSL* ssl_ = nullptr;
};
