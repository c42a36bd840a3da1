// The relay server's settings: command line, configuration file and environment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct RelayOptions {
    std::string bind_address;    // empty: every IPv6 and IPv4 address
    int tool_port = 55555;       // where the tool logs in with a session code
    int operator_port = 55556;   // where operators open and join sessions
    std::string operator_token;  // operators must present it
    int code_ttl_s = 600;        // an unused session code expires after this
    int idle_timeout_s = 1800;   // a session with no traffic either way ends after this
    int login_timeout_s = 10;    // a login line must arrive within this
    int max_failures = 10;        // wrong tokens per operator address within failure_window_s
    int max_noise_failures = 50;  // likewise, failures that reveal nothing (time-outs, bad lines)
    int failure_window_s = 600;   // also how long a tool address's wrong codes slow it down
    int guesses_per_hour = 60;    // lookups of codes that never existed, all addresses together
    int failure_table_size = 65536;  // addresses remembered with their failures, per port
    int max_connections_per_address = 256;
    int max_logins_per_address = 16;  // connections not logged in yet
    int max_open_codes = 100;         // codes opened and not used yet, all operators together
    int max_open_codes_per_address = 20;
    int max_tls_handshakes = 16;      // TLS handshakes in progress
    int max_tls_handshakes_per_address = 2;
    int max_sessions = 10000;
    int max_connections = 30000;
    std::string tls_certificate;  // PEM chain for the operator port; with tls_key turns TLS on
    std::string tls_key;
};

// Fits the connection and session ceilings to a descriptor limit: two sockets per
// session, a few descriptors for the server itself.
void fit_to_descriptor_limit(uint64_t descriptors, RelayOptions* options);

// Reads the command line (argv[1..]), then the configuration file it names, then
// QV450_OPERATOR_TOKEN when neither gave a token. False with a message in *error on a
// bad option, an unreadable file or an unusable token; *help is set for --help.
// Settings that are no longer used add a line each to *notes, if given.
bool parse_relay_options(int argc, char** argv, RelayOptions* options, std::string* error, bool* help,
                         std::string* notes = nullptr);

// Applies "key = value" lines of a configuration file's text; '#' starts a comment.
// False with a message naming the line on an unknown key or a bad value.
bool apply_relay_config_text(const std::string& text, RelayOptions* options, std::string* error,
                             std::string* notes = nullptr);

// A guessable token opens every fitter's module to whoever guesses it: the packaged
// configuration's placeholder, left in place when the file was copied by hand, and short
// tokens are refused; so are tokens no operator could log in with: too long for the
// login line, holding blanks or control characters (the line is split into words), or
// holding '#' (a configuration file would cut it there). False with a message saying
// what is wrong and how to set one.
constexpr size_t MIN_OPERATOR_TOKEN_LENGTH = 16;
constexpr char OPERATOR_TOKEN_PLACEHOLDER[] = "@TOKEN@";
bool check_operator_token(const std::string& token, std::string* error);

// The keys a configuration file may set (not those of earlier versions that are ignored).
std::vector<std::string> relay_setting_names();

extern const char RELAY_USAGE[];
