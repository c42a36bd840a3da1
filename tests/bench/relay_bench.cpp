// Relay server figures at scale: N paired sessions (1,000 and the most the descriptor
// limit allows, up to 10,000), tools each from an address of their own and operators
// from a few desks', so that the server runs with the per-address limits it ships with;
// the one-byte round trip through the relay and through a minimal two-hop forwarder in
// the same run (median and p99), set-up time, the server's memory per session and its
// CPU while the sessions idle; then a tenth of the sessions streaming, at the goal's
// rate and at half of it, while a quiet session's round trips are taken through the
// relay and through the forwarder. Prints figures against the goals; `--smoke` runs a
// tiny version for the test suite.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
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

// Connects from 127.0.0.1, or for a peer number from an address of its own in
// 127.1.0.0/16 (all of 127.0.0.0/8 is loopback), so that the server's per-address limits
// stay as it ships them.
int connect_to(int port, int peer = -1) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    if (peer >= 0) {
        a.sin_addr.s_addr = htonl(0x7F010000u + uint32_t(peer) % 65000u + 1u);
        if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            std::perror("bind");
            std::exit(1);
        }
    }
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
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 1024) != 0 ||
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

// The one-minute load average.
std::string load_average() {
    std::ifstream file("/proc/loadavg");
    std::string one_minute;
    file >> one_minute;
    return one_minute;
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

// The floor: a forwarder that does nothing but pass bytes between the two sockets of each
// pair, on one epoll loop in a process of its own; the n-th connection to the left port
// pairs with the n-th to the right one.
pid_t start_forwarder(int* left_port, int* right_port) {
    int listeners[2] = {listen_any(left_port), listen_any(right_port)};
    pid_t pid = fork();
    if (pid != 0) {
        close(listeners[0]);
        close(listeners[1]);
        return pid;
    }
    int poller = epoll_create1(EPOLL_CLOEXEC);
    auto watch = [poller](int fd) {
        epoll_event e{};
        e.events = EPOLLIN;
        e.data.fd = fd;
        epoll_ctl(poller, EPOLL_CTL_ADD, fd, &e);
    };
    watch(listeners[0]);
    watch(listeners[1]);
    std::vector<int> peer(1 << 16, -1), unpaired[2];
    char buffer[65536];
    for (;;) {
        epoll_event ready[128];
        int n = epoll_wait(poller, ready, 128, -1);
        for (int i = 0; i < n; ++i) {
            int fd = ready[i].data.fd;
            int side = fd == listeners[0] ? 0 : fd == listeners[1] ? 1 : -1;
            if (side >= 0) {
                int c = accept(fd, nullptr, nullptr), one = 1;
                setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                if (unpaired[1 - side].empty()) {
                    unpaired[side].push_back(c);
                    continue;
                }
                int other = unpaired[1 - side].front();
                unpaired[1 - side].erase(unpaired[1 - side].begin());
                peer[size_t(c)] = other;
                peer[size_t(other)] = c;
                watch(c);
                watch(other);
                continue;
            }
            ssize_t got = recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0 || send(peer[size_t(fd)], buffer, size_t(got), MSG_NOSIGNAL) != got) {
                close(fd);
                close(peer[size_t(fd)]);
            }
        }
    }
}

// Closes with a reset: tens of thousands of connections closed in the usual way would
// leave as many ports in TIME_WAIT for a minute, in the way of every program on the host
// that binds one.
void hang_up(int fd) {
    linger now{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
    close(fd);
}

struct Pair {
    int op, tool;
};

// Session n: its operator from one of a few support desks' addresses, its tool from an
// address of its own.
constexpr int DESKS = 64;
Pair open_session(int tool_port, int operator_port, int n) {
    Pair p;
    p.op = connect_to(operator_port, n % DESKS);
    std::string open = std::string("OPEN ") + TOKEN + "\n";
    send(p.op, open.data(), open.size(), 0);
    std::string code = read_until(p.op, "\n");
    p.tool = connect_to(tool_port, DESKS + n);
    std::string line = code.substr(5, 8) + "\n";
    send(p.tool, line.data(), line.size(), 0);
    read_until(p.tool, "OK");
    read_until(p.op, "PAIRED\n");
    return p;
}

struct Trips {
    double median_us, p99_us, worst_us;
};

Trips summary(std::vector<double> us) {
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us[std::min(us.size() - 1, us.size() * 99 / 100)], us.back()};
}

// One byte from the operator's side to the tool's and back.
double trip_us(const Pair& p) {
    char byte = '@';
    auto start = Clock::now();
    if (send(p.op, &byte, 1, 0) != 1 || recv(p.tool, &byte, 1, 0) != 1 || send(p.tool, &byte, 1, 0) != 1 ||
        recv(p.op, &byte, 1, 0) != 1) {
        std::fprintf(stderr, "relay_bench: a round trip failed\n");
        std::exit(1);
    }
    return seconds_since(start) * 1e6;
}

// Round trips over `pairs` in turn.
Trips round_trips(const std::vector<Pair>& pairs, int count) {
    std::vector<double> us;
    for (int i = 0; i < count; ++i) us.push_back(trip_us(pairs[(size_t(i) * 7919) % pairs.size()]));
    return summary(us);
}

// Round trips through the relay and through the forwarder taken in turn for `seconds`, so
// that both see the same seconds of load; each adds its times to its own list.
void side_by_side(const Pair& relayed, const Pair& direct, double seconds, std::vector<double>* through_relay,
                  std::vector<double>* through_forwarder) {
    auto start = Clock::now();
    do {
        through_relay->push_back(trip_us(relayed));
        through_forwarder->push_back(trip_us(direct));
    } while (seconds_since(start) < seconds);
}

// The streaming load, in a process of its own: each of `streams` sends 100 bytes from
// both ends every 20 ms, each session at its own phase of the period; what arrives is
// read and dropped. It ends when `stop` closes, and writes to `done` the messages it sent,
// the bytes it received (all that the server passed on) and the CPU it took itself (us).
// On two cores it shares the machine with the server it loads, so it spends no call that
// it can save: the streams are not polled but read in turn, each once every two periods,
// which takes the two messages waiting in one read, and whatever is left at the end.
constexpr int STREAM_BYTES = 100, STREAM_PERIOD_US = 20000;
// Messages a second the load is due to send: one each way per stream per period.
double due_per_s(size_t streams, int period_us) { return double(streams) * 2 * 1e6 / period_us; }
// Above this share of a core, a server no longer keeps up with the streaming load.
constexpr double SATURATED_PERCENT = 80.0;
struct Load {
    pid_t pid;
    int stop, done;
};
Load start_streams(const std::vector<Pair>& streams, int period_us) {
    int stop[2], done[2];
    if (pipe(stop) != 0 || pipe(done) != 0) std::exit(1);
    pid_t pid = fork();
    if (pid != 0) {
        close(stop[0]);
        close(done[1]);
        return {pid, stop[1], done[0]};
    }
    close(stop[1]);
    close(done[0]);
    int poller = epoll_create1(EPOLL_CLOEXEC);
    epoll_event ended{};
    ended.events = EPOLLIN;
    ended.data.fd = stop[0];
    epoll_ctl(poller, EPOLL_CTL_ADD, stop[0], &ended);
    uint64_t received = 0;
    std::vector<int> ends;
    for (const Pair& p : streams) ends.insert(ends.end(), {p.op, p.tool});
    int tick = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    itimerspec every_ms{{0, 1000000}, {0, 1000000}};
    timerfd_settime(tick, 0, &every_ms, nullptr);
    epoll_event e{};
    e.events = EPOLLIN;
    e.data.fd = tick;
    epoll_ctl(poller, EPOLL_CTL_ADD, tick, &e);
    char payload[STREAM_BYTES], sink[65536];
    std::memset(payload, 'S', sizeof payload);
    auto start = Clock::now();
    uint64_t due = 0;  // sends due so far: send k is session k % n, due k * period / n after the start
    uint64_t sent = 0;  // messages sent; sends missed while behind are not
    uint64_t reads = 0;  // reads done so far: read k is of ends[k % ends.size()], every two periods
    auto read_end = [&](int fd) {
        ssize_t n = recv(fd, sink, sizeof sink, MSG_DONTWAIT);
        if (n > 0) received += uint64_t(n);
    };
    for (;;) {
        epoll_event ready[256];
        int n = epoll_wait(poller, ready, 256, -1);
        for (int i = 0; i < n; ++i) {
            int fd = ready[i].data.fd;
            if (fd == stop[0]) {
                for (int end : ends) read_end(end);
                rusage self{};
                getrusage(RUSAGE_SELF, &self);
                uint64_t cpu_us = uint64_t(self.ru_utime.tv_sec + self.ru_stime.tv_sec) * 1000000u +
                                  uint64_t(self.ru_utime.tv_usec + self.ru_stime.tv_usec);
                uint64_t counts[3] = {sent, received, cpu_us};
                if (write(done[1], counts, sizeof counts) != ssize_t(sizeof counts)) _exit(1);
                _exit(0);
            }
            uint64_t expirations;
            if (read(tick, &expirations, sizeof expirations) < 0) continue;
            double now_us = seconds_since(start) * 1e6;
            // Behind by more than a period (the machine is busy): the sends missed are
            // dropped, as sessions that each keep their own pace would, not sent in a burst.
            double behind = now_us / period_us * double(streams.size()) - double(due);
            if (behind > double(streams.size())) due += uint64_t(behind) - streams.size();
            while (double(due) * period_us / double(streams.size()) <= now_us) {
                const Pair& p = streams[due++ % streams.size()];
                if (send(p.op, payload, sizeof payload, MSG_DONTWAIT) < 0 ||
                    send(p.tool, payload, sizeof payload, MSG_DONTWAIT) < 0)
                    _exit(1);
                sent += 2;
            }
            while (double(reads) * 2 * period_us / double(ends.size()) <= now_us) read_end(ends[reads++ % ends.size()]);
        }
    }
}

// A tenth of the sessions streaming through a server (pid) while a quiet session's
// round trips are taken in turn with those of the one-pair forwarder, a process of its
// own in both servers' turns, so that the measuring side meets the same processes in each.
// A server's turns add up: the trips are pooled, the counts and times summed.
struct Streaming {
    std::vector<double> quiet, beside;  // round trips (us)
    double busy_s = 0, cpu_s = 0, messages = 0, sent = 0, load_cpu_s = 0;
    // The machine's, after the last turn: figures taken on a busy one are not the server's own.
    std::string load_average;
    double messages_per_s() const { return messages / busy_s; }
    double sent_per_s() const { return sent / busy_s; }
    double cpu_percent() const { return cpu_s / busy_s * 100.0; }
};

void stream_through(pid_t server, const std::vector<Pair>& streams, const Pair& quiet, const Pair& beside,
                    double trip_seconds, int period_us, Streaming* f) {
    double cpu_before = cpu_seconds(server);
    auto start = Clock::now();
    Load load = start_streams(streams, period_us);
    usleep(300000);
    side_by_side(quiet, beside, trip_seconds, &f->quiet, &f->beside);
    close(load.stop);
    uint64_t counts[3] = {0, 0, 0};  // messages sent, bytes received, the load's CPU (us)
    if (read(load.done, counts, sizeof counts) != ssize_t(sizeof counts)) std::exit(1);
    close(load.done);
    waitpid(load.pid, nullptr, 0);
    f->busy_s += seconds_since(start);
    f->cpu_s += cpu_seconds(server) - cpu_before;
    f->messages += double(counts[1]) / STREAM_BYTES;
    f->sent += double(counts[0]);
    f->load_cpu_s += double(counts[2]) / 1e6;
    f->load_average = load_average();
}

void print_streaming(const char* through, const Streaming& f, size_t streams, int period_us) {
    std::printf("    %s: %.0f messages a second passed on of %.0f sent (%.0f due), %.0f%% of a core, %.1f us a "
                "message; the load %.0f%% of a core; load average %s\n",
                through, f.messages_per_s(), f.sent_per_s(), due_per_s(streams, period_us), f.cpu_percent(),
                f.cpu_s / std::max(1.0, f.messages) * 1e6, f.load_cpu_s / f.busy_s * 100.0, f.load_average.c_str());
    Trips quiet = summary(f.quiet), beside = summary(f.beside);
    std::printf("      a quiet session's round trip:      median %7.1f us   p99 %9.1f us   worst %9.1f us"
                "   (%zu trips)\n",
                quiet.median_us, quiet.p99_us, quiet.worst_us, f.quiet.size());
    std::printf("      the one-pair forwarder meanwhile:  median %7.1f us   p99 %9.1f us   worst %9.1f us\n",
                beside.median_us, beside.p99_us, beside.worst_us);
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
    // Figures taken while other programs keep the cores busy are not the server's own.
    std::printf("load average before the run: %s on %ld cores\n", load_average().c_str(),
                sysconf(_SC_NPROCESSORS_ONLN));

    int tool_port = 0, operator_port = 0;
    pid_t relay = start_relay(steps.back(), &tool_port, &operator_port);
    int left_port = 0, right_port = 0, floor_left = 0, floor_right = 0;
    pid_t forwarder = start_forwarder(&left_port, &right_port);
    pid_t floor_forwarder = start_forwarder(&floor_left, &floor_right);
    std::vector<Pair> direct = {{connect_to(floor_left), connect_to(floor_right)}};

    usleep(200000);
    long base_kib = resident_kib(relay);
    std::vector<Pair> pairs;
    bool all_met = true;
    for (int n : steps) {
        auto start = Clock::now();
        size_t before = pairs.size();
        while (int(pairs.size()) < n) pairs.push_back(open_session(tool_port, operator_port, int(pairs.size())));
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

    // A tenth of the sessions stream, through the relay and through the forwarder (which
    // then carries as many pairs, so that the kernel holds as many connections and the
    // poll set is as large): a quiet session's trips against each. At the goal's rate and
    // at half of it: where the goal's rate takes a whole core even from the forwarder (a
    // small machine, with the load on the same cores), both servers sit at the edge of
    // saturation and their tails compare two queues that barely drain; half the rate shows
    // what each adds while the machine keeps up. At each rate the servers take turns, each
    // on sessions opened just before, so that both come to it alike, after the same work;
    // and they take several short turns rather than one long one each, so that a stretch
    // of seconds in which the machine was slow (other programs, a virtual machine's host)
    // falls to both alike rather than to whichever had its turn then.
    auto tenth = [](const std::vector<Pair>& all) {
        std::vector<Pair> some;
        for (size_t i = 0; i < all.size(); i += 10) some.push_back(all[i]);
        return some;
    };
    auto hang_up_all = [](std::vector<Pair>& all) {
        for (const Pair& p : all) {
            hang_up(p.op);
            hang_up(p.tool);
        }
        all.clear();
        usleep(500000);  // the server lets them go
    };
    const size_t sessions = pairs.size(), streams = (sessions + 9) / 10;
    const int turns = smoke ? 1 : 4;
    const double trip_seconds = smoke ? 0.05 : 2.0;  // a turn's trips, after the load settled
    const int periods[2] = {STREAM_PERIOD_US, 2 * STREAM_PERIOD_US};
    Streaming relay_load[2], forwarder_load[2];
    for (int k = 0; k < 2; ++k) {
        for (int turn = 0; turn < turns; ++turn) {
            while (pairs.size() < sessions) pairs.push_back(open_session(tool_port, operator_port, int(pairs.size())));
            stream_through(relay, tenth(pairs), pairs[sessions / 2 + 1], direct[0], trip_seconds, periods[k],
                           &relay_load[k]);
            hang_up_all(pairs);
            std::vector<Pair> forwarded;
            while (forwarded.size() < sessions) forwarded.push_back({connect_to(left_port), connect_to(right_port)});
            stream_through(forwarder, tenth(forwarded), forwarded[sessions / 2 + 1], direct[0], trip_seconds,
                           periods[k], &forwarder_load[k]);
            hang_up_all(forwarded);
        }
    }
    for (int k = 0; k < 2; ++k) {
        std::printf("\nwith %zu of %zu sessions streaming %d bytes each way every %d ms%s, %d turn%s each:\n",
                    streams, sessions, STREAM_BYTES, periods[k] / 1000, k == 0 ? "" : " (half the goal's rate)",
                    turns, turns == 1 ? "" : "s");
        print_streaming("through the relay", relay_load[k], streams, periods[k]);
        print_streaming("through the forwarder", forwarder_load[k], streams, periods[k]);
        if (smoke) continue;
        bool met = summary(relay_load[k].quiet).p99_us <= 2 * summary(forwarder_load[k].quiet).p99_us;
        // A forwarder that needs most of a core at this rate leaves no headroom: the
        // verdict is shown, but the tails then compare two queues at the edge.
        bool saturated = forwarder_load[k].cpu_percent() > SATURATED_PERCENT;
        // Nor do two tails compare when the load could not send both servers the rate.
        double due = due_per_s(streams, periods[k]);
        bool short_load = std::min(relay_load[k].sent_per_s(), forwarder_load[k].sent_per_s()) < 0.95 * due;
        std::printf("goal: the quiet session's p99 within 2x the forwarder's under the same load: %s%s\n",
                    verdict(met),
                    saturated    ? " (not judged: the forwarder itself is near saturation here)"
                    : short_load ? " (not judged: the load could not send the rate to both servers here)"
                                 : "");
        if (!saturated && !short_load) all_met = all_met && met;
    }
    hang_up(direct[0].op);
    hang_up(direct[0].tool);
    kill(relay, SIGTERM);
    kill(forwarder, SIGTERM);
    kill(floor_forwarder, SIGTERM);
    waitpid(relay, nullptr, 0);
    waitpid(forwarder, nullptr, 0);
    waitpid(floor_forwarder, nullptr, 0);
    return smoke || all_met ? 0 : 1;
}
