// The operator's channel over a TCP socket, with OpenSSL for TLS.
#include "operator/operator_channel.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/clock.h"

namespace {

// Socket waits take real time, whatever clock the program's own waits use.
int remaining(int64_t deadline) {
    return deadline < 0 ? -1 : int(std::max<int64_t>(0, deadline - platform::real_time_ms()));
}

std::string openssl_error() {
    unsigned long code = ERR_get_error();
    if (!code) return "the connection closed";
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

bool is_ip_address(const std::string& host) {
    unsigned char bytes[16];
    return inet_pton(AF_INET, host.c_str(), bytes) == 1 || inet_pton(AF_INET6, host.c_str(), bytes) == 1;
}

}  // namespace

OperatorChannel::~OperatorChannel() {
    if (ssl_) SSL_free(ssl_);
    if (context_) SSL_CTX_free(context_);
    if (fd_ >= 0) close(fd_);
}

bool OperatorChannel::connect(const std::string& host, int port, const OperatorSecurity& security, int timeout_ms,
                              std::string* error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found) {
        *error = "cannot resolve " + host;
        return false;
    }
    int last_errno = 0;
    for (addrinfo* a = found; a && fd_ < 0; a = a->ai_next) {
        fd_ = socket(a->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ >= 0 && ::connect(fd_, a->ai_addr, a->ai_addrlen) != 0) {
            last_errno = errno;
            close(fd_);
            fd_ = -1;
        }
    }
    freeaddrinfo(found);
    if (fd_ < 0) {
        *error = "cannot connect to " + host + ":" + std::to_string(port) + ": " + std::strerror(last_errno);
        return false;
    }
    int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
    return security.insecure || start_tls(host, security, timeout_ms, error);
}

bool OperatorChannel::start_tls(const std::string& host, const OperatorSecurity& security, int timeout_ms,
                                std::string* error) {
    context_ = SSL_CTX_new(TLS_client_method());
    if (!context_) {
        *error = "TLS: " + openssl_error();
        return false;
    }
    SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION);
    SSL_CTX_set_verify(context_, SSL_VERIFY_PEER, nullptr);
    bool trusted = security.ca_file.empty() ? SSL_CTX_set_default_verify_paths(context_) == 1
                                            : SSL_CTX_load_verify_locations(context_, security.ca_file.c_str(), nullptr) == 1;
    if (!trusted) {
        *error = "cannot load the certificates to trust" +
                 (security.ca_file.empty() ? std::string() : " from " + security.ca_file) + ": " + openssl_error();
        return false;
    }
    ssl_ = SSL_new(context_);
    SSL_set_fd(ssl_, fd_);
    // The certificate must name the server we asked for.
    if (is_ip_address(host)) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), host.c_str());
    } else {
        SSL_set_tlsext_host_name(ssl_, host.c_str());
        SSL_set1_host(ssl_, host.c_str());
    }
    int64_t deadline = platform::real_time_ms() + timeout_ms;
    for (;;) {
        int result = SSL_connect(ssl_);
        if (result == 1) return true;
        if (wait_for(result, remaining(deadline))) continue;
        *error = "no TLS connection with " + host + ": " + tls_failure(host, security, remaining(deadline) == 0);
        return false;
    }
}

std::string OperatorChannel::tls_failure(const std::string& host, const OperatorSecurity& security, bool late) {
    const long verdict = SSL_get_verify_result(ssl_);
    // The server spoke TLS, but its certificate is not the one asked for: the way on is
    // the CA that signed it, never plain text.
    if (verdict == X509_V_ERR_HOSTNAME_MISMATCH || verdict == X509_V_ERR_IP_ADDRESS_MISMATCH)
        return "the server's certificate does not name " + host + ": connect by a name it holds";
    if (verdict != X509_V_OK) {
        const std::string trusted = security.ca_file.empty() ? "the system's store" : security.ca_file;
        return std::string("the server's certificate is not trusted (") + X509_verify_cert_error_string(verdict) +
               "): give the certificate of the CA that signed it with --ca-file FILE (now " + trusted + ")";
    }
    if (late) return "no answer in time";
    return openssl_error() + " (a relay server without a certificate needs --insecure)";
}

bool OperatorChannel::wait_for(int ssl_result, int timeout_ms) {
    int reason = SSL_get_error(ssl_, ssl_result);
    if (reason != SSL_ERROR_WANT_READ && reason != SSL_ERROR_WANT_WRITE) return false;
    pollfd p{fd_, short(reason == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT), 0};
    return poll(&p, 1, timeout_ms) > 0;
}

bool OperatorChannel::send_all(const char* data, size_t size) {
    size_t sent = 0;
    while (sent < size) {
        if (ssl_) {
            int n = SSL_write(ssl_, data + sent, int(size - sent));
            if (n > 0) sent += size_t(n);
            else if (!wait_for(n, -1)) return false;
            continue;
        }
        ssize_t n = ::send(fd_, data + sent, size - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += size_t(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{fd_, POLLOUT, 0};
            poll(&p, 1, -1);
        } else {
            return false;
        }
    }
    return true;
}

int OperatorChannel::receive(char* buffer, size_t size, int timeout_ms) {
    int64_t deadline = timeout_ms < 0 ? -1 : platform::real_time_ms() + timeout_ms;
    size_t got = 0;
    for (;;) {
        if (ssl_) {
            int n = SSL_read(ssl_, buffer + got, int(size - got));
            if (n > 0) {
                got += size_t(n);
                // Take every byte TLS has already decrypted: a poll on the socket cannot see them.
                if (SSL_pending(ssl_) > 0 && got < size) continue;
                return int(got);
            }
            if (got > 0) return int(got);
            int reason = SSL_get_error(ssl_, n);
            if (reason == SSL_ERROR_ZERO_RETURN) return RECEIVE_SHUT_DOWN;
            if (reason != SSL_ERROR_WANT_READ && reason != SSL_ERROR_WANT_WRITE)
                return ERR_peek_error() == 0 ? RECEIVE_CLOSED : RECEIVE_FAILED;
            if (!wait_for(n, remaining(deadline))) return RECEIVE_TIMED_OUT;
            continue;
        }
        ssize_t n = recv(fd_, buffer, size, 0);
        if (n > 0) return int(n);
        if (n == 0) return RECEIVE_CLOSED;
        if (errno != EAGAIN && errno != EINTR) return RECEIVE_FAILED;
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, remaining(deadline)) <= 0) return RECEIVE_TIMED_OUT;
    }
}
