// HTTP servers for the update check's tests, on loopback ports: Debian's nginx run
// as an unprivileged process with a configuration of its own, and a scripted server
// that answers one connection with exactly the bytes a test gives it.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "unit/temp_folder.h"

// A socket bound to a free loopback port, listening when `backlog` > 0; its port
// goes to `port`.
inline int bind_loopback(uint16_t* port, int backlog) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    if (backlog > 0) listen(fd, backlog);
    socklen_t length = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    *port = ntohs(a.sin_port);
    return fd;
}

// A free loopback port: bound, read back and let go (the server binds it again).
inline uint16_t free_loopback_port() {
    uint16_t port = 0;
    close(bind_loopback(&port, 0));
    return port;
}

inline bool port_answers(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

// nginx serving `www()` on 127.0.0.1:port(). Everything it writes stays in its
// temporary folder; in the foreground as a single process, so it never changes user
// and works the same for root and for anyone else.
class NginxServer {
public:
    NginxServer() { mkdir(folder_.file("www").c_str(), 0755); mkdir(folder_.file("www/programator").c_str(), 0755); }
    ~NginxServer() { stop(); }
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    std::string www() const { return folder_.file("www"); }
    void put(const std::string& name, const std::string& bytes) const { folder_.put("www/" + name, bytes); }
    uint16_t port() const { return port_; }
    std::string host() const { return "127.0.0.1:" + std::to_string(port_); }

    // False when nginx is missing or does not come up within 10 s.
    bool start() {
        port_ = free_loopback_port();
        const std::string d = folder_.path();
        std::ofstream conf(folder_.file("nginx.conf"));
        conf << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
             << "pid " << d << "/nginx.pid;\nerror_log " << d << "/error.log;\n"
             << "events { worker_connections 16; }\n"
             << "http {\n  access_log off;\n  default_type application/octet-stream;\n"
             << "  client_body_temp_path " << d << "/body;\n  proxy_temp_path " << d << "/proxy;\n"
             << "  fastcgi_temp_path " << d << "/fastcgi;\n  uwsgi_temp_path " << d << "/uwsgi;\n"
             << "  scgi_temp_path " << d << "/scgi;\n"
             << "  server {\n    listen 127.0.0.1:" << port_ << ";\n    root " << d << "/www;\n  }\n}\n";
        conf.close();
        const char* binary = access("/usr/sbin/nginx", X_OK) == 0 ? "/usr/sbin/nginx" : "nginx";
        pid_ = fork();
        if (pid_ == 0) {
            const std::string conf_path = folder_.file("nginx.conf");
            execlp(binary, binary, "-p", d.c_str(), "-c", conf_path.c_str(), "-e", (d + "/error.log").c_str(),
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 200; ++i) {
            if (port_answers(port_)) return true;
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    void stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    std::string error_log() const { return folder_.get("error.log"); }

private:
    TempFolder folder_;
    uint16_t port_ = 0;
    pid_t pid_ = -1;
};

// Answers one connection: reads the request up to its empty line, then sends each
// piece (pausing `pause_ms` between pieces, so they arrive as separate reads), then
// closes, or with `hold_open` keeps the connection until the test ends.
class ScriptedServer {
public:
    explicit ScriptedServer(std::vector<std::string> pieces, int pause_ms = 30, bool hold_open = false)
        : pieces_(std::move(pieces)), pause_ms_(pause_ms), hold_open_(hold_open) {
        listener_ = bind_loopback(&port_, 2);
        thread_ = std::thread([this] { serve(); });
    }
    ~ScriptedServer() {
        shutdown(listener_, SHUT_RDWR);
        done_ = true;
        thread_.join();
        close(listener_);
    }
    std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
    // The request as it arrived (complete once the reply has started).
    const std::string& request() const { return request_; }
    // Pieces sent so far.
    int pieces_sent() const { return sent_; }

private:
    void serve() {
        const int fd = accept(listener_, nullptr, nullptr);
        if (fd < 0) return;
        char chunk[1024];
        while (request_.find("\r\n\r\n") == std::string::npos) {
            const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0) break;
            request_.append(chunk, size_t(n));
        }
        for (const std::string& piece : pieces_) {
            send(fd, piece.data(), piece.size(), MSG_NOSIGNAL);
            ++sent_;
            std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms_));
        }
        while (hold_open_ && !done_) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        close(fd);
    }

    std::vector<std::string> pieces_;
    int pause_ms_;
    bool hold_open_;
    std::atomic<bool> done_{false};
    std::atomic<int> sent_{0};
    int listener_ = -1;
    uint16_t port_ = 0;
    std::string request_;
    std::thread thread_;
};
