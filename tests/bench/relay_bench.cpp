// Relay server figures at scale: N paired sessions (1,000 and the most the descriptor
// limit allows, up to 10,000), the one-byte round trip through the relay and through a
// minimal two-hop forwarder in the same run (median and p99), set-up time, the server's
// memory per session and its CPU while the sessions idle. Prints figures against the
// goals; `--smoke` runs a tiny version for the test suite.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "relay/relay_server.h"

namespace {

using Clock = std::chrono::steady_clock;
const char TOKEN[] = "relay-bench-token";

double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

int connect_to(int port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        std::perror("connect");
        std::exit(1);
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

int listen_any(int* port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 16) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
        std::perror("listen");
        std::exit(1);
    }
    *port = ntohs(a.sin_port);
    return fd;
}

// Reads until `text` ends what came; exits on a closed connection.
std::string read_until(int fd, const std::string& end) {
    std::string got;
    char c;
    while (got.size() < end.size() || got.compare(got.size() - end.size(), end.size(), end) != 0) {
        if (recv(fd, &c, 1, 0) != 1) {
            std::fprintf(stderr, "relay_bench: connection closed after \"%s\"\n", got.c_str());
            std::exit(1);
        }
        got.push_back(c);
    }
    return got;
}

// The child process's resident memory (KiB) and CPU time (seconds).
long resident_kib(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

double cpu_seconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stoull(field);
        if (i == 15) stime = std::stoull(field);
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

// The relay server in a process of its own, so that its memory and CPU are its alone.
pid_t start_relay(int sessions, int* tool_port, int* operator_port) {
    int ports[2];
    if (pipe(ports) != 0) std::exit(1);
    pid_t pid = fork();
    if (pid == 0) {
        close(ports[0]);
        RelayOptions options;
        options.bind_address = "127.0.0.1";
        options.tool_port = options.operator_port = 0;
        options.operator_token = TOKEN;
        options.max_sessions = sessions;
        options.max_connections_per_address = options.max_logins_per_address = 1 << 20;  // all from loopback
        rlimit files{};
        getrlimit(RLIMIT_NOFILE, &files);
        fit_to_descriptor_limit(files.rlim_cur, &options);
        RelayServer server(options, nullptr);
        std::string error;
        if (!server.start(&error)) {
            std::fprintf(stderr, "relay_bench: %s\n", error.c_str());
            _exit(1);
        }
        int bound[2] = {server.tool_port(), server.operator_port()};
        if (write(ports[1], bound, sizeof bound) != ssize_t(sizeof bound)) _exit(1);
        close(ports[1]);
        server.run();
        _exit(0);
    }
    close(ports[1]);
    int bound[2] = {0, 0};
    if (read(ports[0], bound, sizeof bound) != ssize_t(sizeof bound)) std::exit(1);
    close(ports[0]);
    *tool_port = bound[0];
    *operator_port = bound[1];
    return pid;
}

// The floor: a forwarder that does nothing but pass bytes between two sockets.
pid_t start_forwarder(int* left_port, int* right_port) {
    int left_listener = listen_any(left_port), right_listener = listen_any(right_port);
    pid_t pid = fork();
    if (pid == 0) {
        int a = accept(left_listener, nullptr, nullptr), b = accept(right_listener, nullptr, nullptr);
        int one = 1;
        setsockopt(a, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        setsockopt(b, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
        char buffer[4096];
        while (poll(fds, 2, -1) > 0) {
            for (int i = 0; i < 2; ++i) {
                if (!fds[i].revents) continue;
                ssize_t n = recv(fds[i].fd, buffer, sizeof buffer, 0);
                if (n <= 0 || send(fds[1 - i].fd, buffer, size_t(n), MSG_NOSIGNAL) != n) _exit(0);
            }
        }
        _exit(0);
    }
    close(left_listener);
    close(right_listener);
    return pid;
}

struct Pair {
    int op, tool;
};

Pair open_session(int tool_port, int operator_port) {
    Pair p;
    p.op = connect_to(operator_port);
    std::string open = std::string("OPEN ") + TOKEN + "\n";
    send(p.op, open.data(), open.size(), 0);
    std::string code = read_until(p.op, "\n");
    p.tool = connect_to(tool_port);
    std::string line = code.substr(5, 8) + "\n";
    send(p.tool, line.data(), line.size(), 0);
    read_until(p.tool, "OK");
    read_until(p.op, "PAIRED\n");
    return p;
}

struct Trips {
    double median_us, p99_us;
};

// One byte from the operator's side to the tool's and back, over `pairs` in turn.
Trips round_trips(const std::vector<Pair>& pairs, int count) {
    std::vector<double> us;
    char byte = '@';
    for (int i = 0; i < count; ++i) {
        const Pair& p = pairs[(size_t(i) * 7919) % pairs.size()];
        auto start = Clock::now();
        if (send(p.op, &byte, 1, 0) != 1 || recv(p.tool, &byte, 1, 0) != 1 || send(p.tool, &byte, 1, 0) != 1 ||
            recv(p.op, &byte, 1, 0) != 1) {
            std::fprintf(stderr, "relay_bench: a round trip failed\n");
            std::exit(1);
        }
        us.push_back(seconds_since(start) * 1e6);
    }
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us[std::min(us.size() - 1, us.size() * 99 / 100)]};
}

const char* verdict(bool met) { return met ? "met" : "MISSED"; }

}  // namespace

int main(int argc, char** argv) {
    bool smoke = argc > 1 && std::strcmp(argv[1], "--smoke") == 0;
    signal(SIGPIPE, SIG_IGN);
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    getrlimit(RLIMIT_NOFILE, &files);
    // Both processes hold two descriptors per session; keep a few for everything else.
    int most = int(std::min<rlim_t>(10000, (files.rlim_cur - 64) / 2));
    std::vector<int> steps = smoke ? std::vector<int>{20} : std::vector<int>{std::min(1000, most), most};
    const int trips = smoke ? 50 : 1000;
    std::printf("descriptor limit %llu: up to %d sessions\n", (unsigned long long)files.rlim_cur, most);

    int tool_port = 0, operator_port = 0;
    pid_t relay = start_relay(steps.back(), &tool_port, &operator_port);
    int left_port = 0, right_port = 0;
    pid_t forwarder = start_forwarder(&left_port, &right_port);
    std::vector<Pair> direct = {{connect_to(left_port), connect_to(right_port)}};

    usleep(200000);
    long base_kib = resident_kib(relay);
    std::vector<Pair> pairs;
    bool all_met = true;
    for (int n : steps) {
        auto start = Clock::now();
        size_t before = pairs.size();
        while (int(pairs.size()) < n) pairs.push_back(open_session(tool_port, operator_port));
        double setup_s = seconds_since(start);
        usleep(500000);
        double bytes_per_session = double(resident_kib(relay) - base_kib) * 1024.0 / double(pairs.size());
        double cpu_before = cpu_seconds(relay);
        const double idle_s = smoke ? 0.2 : 3.0;
        usleep(useconds_t(idle_s * 1e6));
        double idle_percent = (cpu_seconds(relay) - cpu_before) / idle_s * 100.0;
        // The goal is one session's round trip while the others sit idle, as a support
        // session sees it; trips spread over every session are shown beside it.
        Trips relayed = round_trips({pairs[pairs.size() / 2]}, trips);
        Trips spread = round_trips(pairs, trips);
        Trips floor = round_trips(direct, trips);
        std::printf("\n%d paired sessions (%zu opened in %.2f s, %.0f us each)\n", n, pairs.size() - before, setup_s,
                    setup_s * 1e6 / double(std::max<size_t>(1, pairs.size() - before)));
        std::printf("  round trip through the relay:     median %7.1f us   p99 %7.1f us\n", relayed.median_us,
                    relayed.p99_us);
        std::printf("  the same, spread over the sessions: median %7.1f us   p99 %7.1f us\n", spread.median_us,
                    spread.p99_us);
        std::printf("  round trip through a forwarder:   median %7.1f us   p99 %7.1f us\n", floor.median_us,
                    floor.p99_us);
        std::printf("  server memory per session: %.0f bytes; idle CPU: %.2f%% of a core\n", bytes_per_session,
                    idle_percent);
        if (n != steps.back() || smoke) continue;
        bool latency = relayed.p99_us <= 2 * floor.p99_us, cpu = idle_percent < 1.0, memory = bytes_per_session < 1024;
        std::printf("goals at %d sessions: p99 within 2x the forwarder's: %s; idle CPU under 1%%: %s; "
                    "memory under 1 KiB a session: %s\n",
                    n, verdict(latency), verdict(cpu), verdict(memory));
        all_met = latency && cpu && memory;
    }
    for (const Pair& p : pairs) {
        close(p.op);
        close(p.tool);
    }
    close(direct[0].op);
    close(direct[0].tool);
    kill(relay, SIGTERM);
    waitpid(relay, nullptr, 0);
    waitpid(forwarder, nullptr, 0);
    return smoke || all_met ? 0 : 1;
}
