// qv450-cli: the project's command-line tool, for a module on this computer or one opened
// to remote access through a relay.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_commands.h"
#include "cli/cli_options.h"
#include "cli/local_cli.h"
#include "operator/operator_link.h"
#include "operator/operator_token.h"

namespace {

const char USAGE[] =
    "usage: qv450-cli --server HOST:PORT [--token-file FILE] [--ca-file FILE | --insecure]\n"
    "                 [--session CODE] [OPTIONS] COMMAND [ARGS]\n"
    "       qv450-cli --local [OPTIONS] COMMAND [ARGS]\n"
    "       qv450-cli --help | --version\n"
    "commands:\n"
    "  open                 open a session, print its code, then run commands read one per\n"
    "                       line from standard input once the tool has logged in\n"
    "  state                the devices the tool has open\n"
    "  identify             the module's model, firmware version and variant\n"
    "  read-config          the module's configuration in the .cfg format\n"
    "  write-config FILE    write a .cfg file's configuration to the module (what the\n"
    "                       file does not name keeps the module's value)\n"
    "  flash FILE.bin       replace the module's firmware\n"
    "  monitor [COUNT]      the live signal map (COUNT readings, or until interrupted)\n"
    "  text-lines           the module's text lines\n"
    "  serial               pass standard input to the module's serial port and its\n"
    "                       output to standard output\n"
    "Through a relay, a command without --session opens a session of its own, prints its\n"
    "code and waits for the fitter to log in with it. The operator token comes from\n"
    "--token-file, QV450_OPERATOR_TOKEN or a prompt. The server's certificate is checked\n"
    "against the system's store or --ca-file; --insecure talks plain text to a server\n"
    "without a certificate.\n"
    "options:\n";

void print_usage(FILE* out) {
    std::fputs(USAGE, out);
    std::fputs(CLI_OPTIONS_USAGE, out);
}

// Bad arguments end the program at once, before anything waits for the fitter.
int usage_error(const std::string& message) {
    std::fprintf(stderr, "qv450-cli: %s\n%.*s", message.c_str(), int(std::strstr(USAGE, "commands:") - USAGE), USAGE);
    return 2;
}

std::vector<std::string> split_words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    std::string word;
    while (in >> word) words.push_back(word);
    return words;
}

// One line of standard input, read byte by byte: "serial" takes the rest of the input
// as it stands, so nothing may sit in a buffer of ours.
bool read_line(std::string* line) {
    line->clear();
    char c;
    ssize_t n;
    while ((n = read(STDIN_FILENO, &c, 1)) == 1 && c != '\n') line->push_back(c);
    return n == 1 || !line->empty();
}

int fail(const std::string& message) {
    std::fprintf(stderr, "qv450-cli: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    signal(SIGPIPE, SIG_IGN);
    if (wants_local_module(argc, argv)) return run_local_cli(argc, argv);
    CliOptions options;
    std::string server, session, token_file;
    OperatorSecurity security;
    std::vector<std::string> command;
    std::string error;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            print_usage(stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("qv450-cli %s\n", QV450_VERSION);
            return 0;
        }
        const int taken = command.empty() ? take_cli_option(argc, argv, i, &options, &error) : 0;
        if (taken < 0) return usage_error(error);
        if (taken > 0) {
            i += taken - 1;
            continue;
        }
        if (arg == "--token")
            return fail("--token would show the token to every user of this computer: use --token-file "
                        "FILE or QV450_OPERATOR_TOKEN"),
                   2;
        bool takes_value = arg == "--server" || arg == "--token-file" || arg == "--session" || arg == "--ca-file";
        if (takes_value && i + 1 >= argc) return fail(arg + " needs a value"), 2;
        if (arg == "--server") server = argv[++i];
        else if (arg == "--token-file") token_file = argv[++i];
        else if (arg == "--session") session = argv[++i];
        else if (arg == "--ca-file") security.ca_file = argv[++i];
        else if (arg == "--insecure") security.insecure = true;
        else if (command.empty() && arg.rfind("--", 0) == 0) return fail("unknown option " + arg), 2;
        else command.push_back(arg);
    }
    if (server.empty() || command.empty()) {
        print_usage(stderr);
        return 2;
    }
    bool open = command[0] == "open";
    if (open && (command.size() != 1 || !session.empty())) return usage_error("open takes no argument and no --session");
    if (!open && !check_cli_command(command, &error)) return usage_error(error);

    if (security.insecure && !security.ca_file.empty()) return usage_error("--insecure and --ca-file exclude each other");

    std::string token;
    const char* env_token = std::getenv("QV450_OPERATOR_TOKEN");
    if (!token_file.empty()) {
        if (!read_token_file(token_file, &token, &error)) return fail(error);
    } else if (env_token && *env_token) {
        token = env_token;
    } else if (!prompt_token(&token, &error)) {
        return fail(error);
    }

    OperatorLink link;
    link.set_security(security);
    std::string code;
    if (!link.open(server, token, session, &code, &error)) return fail(error);
    if (open) {
        std::printf("%s\n", code.c_str());
        std::fflush(stdout);
    } else if (session.empty()) {
        std::fprintf(stderr, "qv450-cli: %s needs a fitter at the module: give them the session code %s "
                     "(waiting for them to log in)\n", command[0].c_str(), code.c_str());
    }
    if (!link.wait_paired(&error)) return fail(error);
    CliSession remote(link, stdout, stderr);
    remote.set_options(options);
    if (!open) return remote.run(command, &error) ? 0 : (fail(error), remote.status());

    int status = 0;
    std::string line;
    while (read_line(&line)) {
        std::vector<std::string> words = split_words(line);
        if (words.empty() || words[0][0] == '#') continue;
        if (words[0] == "open") {
            status = fail("open: a session is already open");
            continue;
        }
        if (!remote.run(words, &error)) {
            status = fail(words[0] + ": " + error);
            if (link.broken()) break;
        }
        std::fflush(stdout);
    }
    return status;
}
