// The tool as a support person's console on a relay session: its options, the
// operator's connection to the relay, and the module link over it. No GTK here.
#pragma once

#include <string>
#include <vector>

// The option that makes the tool a remote console; processes given it own no module.
constexpr const char* REMOTE_CONSOLE_OPTION = "--relay";
// Where the relay server takes operators when the option names no port.
constexpr int DEFAULT_OPERATOR_PORT = 55556;

struct RemoteConsoleOptions {
    std::string server;      // host:port
    std::string session;     // the session's code
    std::string token_file;  // empty: the token comes from QV450_OPERATOR_TOKEN
    std::string ca_file;     // certificates to trust; empty: the system's store
    bool insecure = false;   // plain text, for a relay without a certificate
};

enum class ConsoleArgs { NONE, GIVEN, BAD };

// Reads --relay HOST[:PORT], --session CODE, --token-file FILE, --ca-file FILE and
// --insecure from the command line. NONE without any of them; BAD, with a reason, when one lacks its value or
// --relay comes without --session or the other way round.
ConsoleArgs parse_console_args(int argc, const char* const* argv, RemoteConsoleOptions* options,
                               std::string* error);

// The operator token: the first line of the token file when one is named, else
// QV450_OPERATOR_TOKEN. False with a reason when neither gives one.
bool read_console_token(const RemoteConsoleOptions& options, std::string* token, std::string* error);

// "remote, session CODE at HOST:PORT"
std::string remote_console_caption(const RemoteConsoleOptions& options);

class AnswerWait;

// Connects to the relay and joins the session; from then on the program's module link
// is the relay link, whose waits for the fitter's tool are told to `wait`. False with
// a reason otherwise.
bool start_remote_console(const RemoteConsoleOptions& options, AnswerWait* wait, std::string* error);
bool remote_console_active();

// True once the fitter's tool is logged in; until then it looks, without waiting,
// whether the relay said so (the main loop asks once a pass).
bool remote_console_paired();

// Empty while the session works; once it is lost, why (every operation then fails at
// once, so no window waits on it).
std::string remote_console_error();

// The options that start the program as a console with `options`.
std::vector<std::string> remote_console_arguments(const RemoteConsoleOptions& options);
