// qv450-relay: the relay server between the tool's remote access and operators.
#include <signal.h>
#include <sys/resource.h>

#include <cstdio>

#include "relay/relay_options.h"
#include "relay/relay_server.h"

namespace {
volatile sig_atomic_t stop_requested = 0;
void request_stop(int) { stop_requested = 1; }
}  // namespace

int main(int argc, char** argv) {
    RelayOptions options;
    std::string error;
    bool help = false;
    if (!parse_relay_options(argc, argv, &options, &error, &help)) {
        std::fprintf(stderr, "qv450-relay: %s\n%s", error.c_str(), RELAY_USAGE);
        return 2;
    }
    if (help) {
        std::fputs(RELAY_USAGE, stdout);
        return 0;
    }
    // Every session holds two sockets: allow as many as the system lets us.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY &&
        rlim_t(options.max_connections) + 16 > files.rlim_cur)
        options.max_connections = int(files.rlim_cur) - 16;
    signal(SIGPIPE, SIG_IGN);
    signal(SIGINT, request_stop);
    signal(SIGTERM, request_stop);

    RelayServer server(options, stderr);
    if (!server.start(&error)) {
        std::fprintf(stderr, "qv450-relay: %s\n", error.c_str());
        return 1;
    }
    std::printf("qv450-relay: tools on port %d, operators on port %d\n", server.tool_port(),
                server.operator_port());
    std::fflush(stdout);
    while (!stop_requested) server.run_once(250);
    return 0;
}
