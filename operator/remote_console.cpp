// The support console's session: options, token, and the relay link it works on.
#include "operator/remote_console.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "device/module_link.h"
#include "operator/operator_link.h"
#include "operator/operator_token.h"
#include "operator/relay_link.h"

namespace {

struct Session {
    OperatorLink connection;
    RelayLink link{connection};
    // Set once the relay said "PAIRED" (true) or failed (with the reason in `error`);
    // nothing else touches the connection before that.
    bool waited = false;
    bool paired = false;
    std::string error;  // why the relay ended the session before the fitter logged in
};

// Lives as long as the program: the module link points into it.
Session* session = nullptr;

// A server without a port gets the relay's operator port.
std::string with_port(const std::string& server) {
    std::string host;
    int port = 0;
    if (split_server(server, &host, &port)) return server;
    return server + ":" + std::to_string(DEFAULT_OPERATOR_PORT);
}

}  // namespace

ConsoleArgs parse_console_args(int argc, const char* const* argv, RemoteConsoleOptions* options,
                               std::string* error) {
    struct Option {
        const char* name;
        std::string* value;
    };
    const Option known[] = {{REMOTE_CONSOLE_OPTION, &options->server},
                            {"--session", &options->session},
                            {"--token-file", &options->token_file},
                            {"--ca-file", &options->ca_file}};
    bool any = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--insecure") == 0) options->insecure = true;
        for (const Option& option : known) {
            if (std::strcmp(argv[i], option.name) != 0) continue;
            if (i + 1 >= argc || !*argv[i + 1]) {
                *error = std::string(option.name) + " needs a value";
                return ConsoleArgs::BAD;
            }
            *option.value = argv[++i];
            any = true;
            break;
        }
    }
    if (!any) return ConsoleArgs::NONE;
    if (options->server.empty() || options->session.empty()) {
        *error = "a remote console needs both --relay HOST[:PORT] and --session CODE";
        return ConsoleArgs::BAD;
    }
    if (options->insecure && !options->ca_file.empty()) {
        *error = "--insecure and --ca-file exclude each other";
        return ConsoleArgs::BAD;
    }
    options->server = with_port(options->server);
    return ConsoleArgs::GIVEN;
}

bool read_console_token(const RemoteConsoleOptions& options, std::string* token, std::string* error) {
    token->clear();
    if (!options.token_file.empty()) {
        if (!read_token_file(options.token_file, token, error)) return false;
    } else if (const char* value = std::getenv("QV450_OPERATOR_TOKEN")) {
        *token = value;
    }
    if (token->empty()) {
        *error = "no operator token (--token-file FILE or QV450_OPERATOR_TOKEN)";
        return false;
    }
    return true;
}

std::string remote_console_caption(const RemoteConsoleOptions& options) {
    return "remote, session " + options.session + " at " + options.server;
}

std::vector<std::string> remote_console_arguments(const RemoteConsoleOptions& options) {
    std::vector<std::string> arguments = {REMOTE_CONSOLE_OPTION, options.server, "--session", options.session};
    if (!options.token_file.empty()) {
        arguments.push_back("--token-file");
        arguments.push_back(options.token_file);
    }
    if (!options.ca_file.empty()) {
        arguments.push_back("--ca-file");
        arguments.push_back(options.ca_file);
    }
    if (options.insecure) arguments.push_back("--insecure");
    return arguments;
}

bool start_remote_console(const RemoteConsoleOptions& options, AnswerWait* wait, std::string* error) {
    std::string token, code;
    if (!read_console_token(options, &token, error)) return false;
    auto started = std::make_unique<Session>();
    OperatorSecurity security;
    security.ca_file = options.ca_file;
    security.insecure = options.insecure;
    started->connection.set_security(security);
    if (!started->connection.open(options.server, token, options.session, &code, error)) return false;
    started->connection.set_answer_wait(wait);
    session = started.release();
    set_module_link(&session->link);
    return true;
}

bool remote_console_active() { return session != nullptr; }

bool remote_console_paired() {
    if (!session) return false;
    // The fitter may log in much later: each main-loop pass looks once, without
    // waiting, so that the window keeps working meanwhile.
    if (!session->waited) {
        const int paired = session->connection.check_paired(&session->error);
        session->waited = paired != 0;
        session->paired = paired > 0;
    }
    return session->waited && session->paired;
}

std::string remote_console_error() {
    if (!session) return "";
    return session->error.empty() ? session->link.error() : session->error;
}
