// qv450-relay: the relay server between the tool's remote access and operators.
#include <signal.h>
#include <sys/resource.h>

#include <asio/signal_set.hpp>
#include <cstdio>

#include "relay/relay_options.h"
#include "relay/relay_server.h"

int main(int argc, char** argv) {
    RelayOptions options;
    std::string error;
    bool help = false;
    std::string notes;
    if (!parse_relay_options(argc, argv, &options, &error, &help, &notes)) {
        std::fprintf(stderr, "qv450-relay: %s\n%s", error.c_str(), RELAY_USAGE);
        return 2;
    }
    if (help) {
        std::fputs(RELAY_USAGE, stdout);
        return 0;
    }
    for (size_t at = 0, end; (end = notes.find('\n', at)) != std::string::npos; at = end + 1)
        std::fprintf(stderr, "qv450-relay: %s\n", notes.substr(at, end - at).c_str());
    // Every session holds two sockets: allow as many as the system lets us.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
    int wanted_sessions = options.max_sessions;
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY)
        fit_to_descriptor_limit(files.rlim_cur, &options);
    signal(SIGPIPE, SIG_IGN);

    RelayServer server(options, stderr);
    if (!server.start(&error)) {
        std::fprintf(stderr, "qv450-relay: %s\n", error.c_str());
        return 1;
    }
    std::printf("qv450-relay: tools on port %d, operators on port %d%s; at most %d sessions\n", server.tool_port(),
                server.operator_port(), options.tls_certificate.empty() ? "" : " (TLS)", options.max_sessions);
    if (options.max_sessions < wanted_sessions)
        std::printf("qv450-relay: the descriptor limit (%llu) allows %d of the %d sessions configured\n",
                    (unsigned long long)files.rlim_cur, options.max_sessions, wanted_sessions);
    std::fflush(stdout);
    asio::signal_set stop(server.io(), SIGINT, SIGTERM);
    stop.async_wait([&server](const std::error_code&, int) { server.stop(); });
    server.run();
    return 0;
}
