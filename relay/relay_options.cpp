// Command line and configuration file of the relay server.
#include "relay/relay_options.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "relay/login_line.h"

void fit_to_descriptor_limit(uint64_t descriptors, RelayOptions* options) {
    constexpr uint64_t OWN_DESCRIPTORS = 32;  // listeners, epoll, standard streams, files
    uint64_t connections = descriptors > OWN_DESCRIPTORS ? descriptors - OWN_DESCRIPTORS : 0;
    if (connections < uint64_t(options->max_connections)) options->max_connections = int(connections);
    if (uint64_t(options->max_sessions) * 2 > connections) options->max_sessions = int(connections / 2);
}

const char RELAY_USAGE[] =
    "usage: qv450-relay [--tool-port N] [--operator-port N] [--config FILE] [--bind ADDRESS]\n"
    "                   [--code-ttl SECONDS] [--idle-timeout SECONDS]\n"
    "The operator token comes from the configuration file (operator_token = ...) or from\n"
    "QV450_OPERATOR_TOKEN.\n";

namespace {

bool parse_int(const std::string& text, int low, int high, int* out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < low || value > high) return false;
    *out = int(value);
    return true;
}

std::string trim(const std::string& text) {
    size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// The integer settings a file or the command line may give, by name.
struct IntSetting {
    const char* name;
    int RelayOptions::*field;
    int low, high;
};
const IntSetting INT_SETTINGS[] = {
    {"tool_port", &RelayOptions::tool_port, 0, 65535},
    {"operator_port", &RelayOptions::operator_port, 0, 65535},
    {"code_ttl", &RelayOptions::code_ttl_s, 1, 7 * 24 * 3600},
    {"idle_timeout", &RelayOptions::idle_timeout_s, 1, 7 * 24 * 3600},
    {"login_timeout", &RelayOptions::login_timeout_s, 1, 3600},
    {"max_failures", &RelayOptions::max_failures, 1, 1000000},
    {"max_noise_failures", &RelayOptions::max_noise_failures, 1, 1000000},
    {"failure_window", &RelayOptions::failure_window_s, 1, 7 * 24 * 3600},
    {"guesses_per_hour", &RelayOptions::guesses_per_hour, 1, 1000000},
    {"max_connections_per_address", &RelayOptions::max_connections_per_address, 1, 1000000},
    {"max_logins_per_address", &RelayOptions::max_logins_per_address, 1, 1000000},
    {"max_open_codes", &RelayOptions::max_open_codes, 1, 1000000},
    {"max_open_codes_per_address", &RelayOptions::max_open_codes_per_address, 1, 1000000},
    {"max_tls_handshakes", &RelayOptions::max_tls_handshakes, 1, 1000000},
    {"max_tls_handshakes_per_address", &RelayOptions::max_tls_handshakes_per_address, 1, 1000000},
    {"max_sessions", &RelayOptions::max_sessions, 1, 1000000},
    {"failure_table_size", &RelayOptions::failure_table_size, 16, 10000000},
};

// Settings that hold text, by name.
struct TextSetting {
    const char* name;
    std::string RelayOptions::*field;
};
const TextSetting TEXT_SETTINGS[] = {
    {"operator_token", &RelayOptions::operator_token},
    {"bind", &RelayOptions::bind_address},
    {"tls_certificate", &RelayOptions::tls_certificate},
    {"tls_key", &RelayOptions::tls_key},
};

// Settings of earlier versions, accepted and ignored with a note, so that an old
// configuration still starts the server.
struct OldSetting {
    const char* name;
    const char* note;
};
const OldSetting OLD_SETTINGS[] = {
    {"max_tool_failures_per_day",
     "max_tool_failures_per_day is no longer used: wrong session codes slow their address down, and "
     "guesses_per_hour limits them for all addresses together"},
};

bool set_named(const std::string& name, const std::string& value, RelayOptions* options,
               std::string* error, std::string* notes) {
    for (const OldSetting& setting : OLD_SETTINGS) {
        if (name != setting.name) continue;
        if (notes) *notes += std::string(setting.note) + "\n";
        return true;
    }
    for (const TextSetting& setting : TEXT_SETTINGS) {
        if (name != setting.name) continue;
        options->*setting.field = value;
        return true;
    }
    for (const IntSetting& setting : INT_SETTINGS) {
        if (name != setting.name) continue;
        if (parse_int(value, setting.low, setting.high, &(options->*setting.field))) return true;
        *error = "bad value for " + name + ": " + value;
        return false;
    }
    *error = "unknown setting " + name;
    return false;
}

}  // namespace

std::vector<std::string> relay_setting_names() {
    std::vector<std::string> names;
    for (const TextSetting& setting : TEXT_SETTINGS) names.push_back(setting.name);
    for (const IntSetting& setting : INT_SETTINGS) names.push_back(setting.name);
    return names;
}

bool apply_relay_config_text(const std::string& text, RelayOptions* options, std::string* error,
                             std::string* notes) {
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        size_t hash = line.find('#');
        // "key = value# note": the value ran into the comment, perhaps a token holding '#'.
        bool glued = hash != std::string::npos && hash > 0 && std::strchr(" \t=", line[hash - 1]) == nullptr &&
                     line.find('=') < hash;
        if (hash != std::string::npos) line.erase(hash);
        line = trim(line);
        if (line.empty()) continue;
        size_t equals = line.find('=');
        if (equals == std::string::npos) {
            *error = "line " + std::to_string(number) + ": expected key = value";
            return false;
        }
        std::string message, key = trim(line.substr(0, equals));
        if (glued && key == "operator_token") {
            *error = "line " + std::to_string(number) +
                     ": operator_token runs into '#', which starts a comment: a token cannot hold '#'";
            return false;
        }
        if (!set_named(key, trim(line.substr(equals + 1)), options, &message, notes)) {
            *error = "line " + std::to_string(number) + ": " + message;
            return false;
        }
    }
    return true;
}

bool parse_relay_options(int argc, char** argv, RelayOptions* options, std::string* error, bool* help,
                         std::string* notes) {
    *help = false;
    std::string config_path;
    // Command-line values win over the file's: remember them and apply them last.
    std::string overrides;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            *help = true;
            return true;
        }
        if (i + 1 >= argc || arg.rfind("--", 0) != 0) {
            *error = "unexpected argument " + arg;
            return false;
        }
        std::string value = argv[++i];
        if (arg == "--config") {
            config_path = value;
            continue;
        }
        std::string name = arg.substr(2);
        for (char& c : name)
            if (c == '-') c = '_';
        if (name == "code_ttl" || name == "idle_timeout" || name == "tool_port" ||
            name == "operator_port" || name == "bind") {
            overrides += name + "=" + value + "\n";
            continue;
        }
        *error = "unknown option " + arg;
        return false;
    }
    if (!config_path.empty()) {
        std::ifstream file(config_path);
        if (!file) {
            *error = "cannot read " + config_path + ": " + std::strerror(errno);
            return false;
        }
        std::stringstream text;
        text << file.rdbuf();
        if (!apply_relay_config_text(text.str(), options, error, notes)) {
            *error = config_path + ": " + *error;
            return false;
        }
        // Relative certificate names are beside the file: the service gets all three as
        // credentials in one folder.
        size_t slash = config_path.rfind('/');
        for (std::string* path : {&options->tls_certificate, &options->tls_key})
            if (!path->empty() && (*path)[0] != '/' && slash != std::string::npos)
                *path = config_path.substr(0, slash + 1) + *path;
    }
    std::string message;
    if (!apply_relay_config_text(overrides, options, &message)) {
        *error = message.substr(message.find(':') + 2);
        return false;
    }
    if (options->operator_token.empty()) {
        const char* token = std::getenv("QV450_OPERATOR_TOKEN");
        if (token) options->operator_token = token;
    }
    return check_operator_token(options->operator_token, error);
}

bool check_operator_token(const std::string& token, std::string* error) {
    const std::string how = "; set operator_token = <" + std::to_string(MIN_OPERATOR_TOKEN_LENGTH) + " to " +
                            std::to_string(MAX_OPERATOR_TOKEN_LENGTH) +
                            " characters, no blanks, no '#'> in the configuration file (the service reads "
                            "/etc/qv450/relay.conf, readable by root only) or QV450_OPERATOR_TOKEN";
    if (token.empty())
        *error = "no operator token" + how;
    else if (token == OPERATOR_TOKEN_PLACEHOLDER)
        *error = std::string("the operator token is still the template's placeholder ") +
                 OPERATOR_TOKEN_PLACEHOLDER + how;
    else if (token.size() < MIN_OPERATOR_TOKEN_LENGTH)
        *error = "the operator token is too short (" + std::to_string(token.size()) +
                 " characters)" + how;
    else if (token.size() > MAX_OPERATOR_TOKEN_LENGTH)
        *error = "the operator token is too long (" + std::to_string(token.size()) + " characters; at most " +
                 std::to_string(MAX_OPERATOR_TOKEN_LENGTH) + " fit an operator's login line)" + how;
    else if (std::find_if(token.begin(), token.end(), [](char c) { return uint8_t(c) <= ' ' || c == 0x7F; }) !=
             token.end())
        *error = "the operator token holds a blank or a control character (operators' login lines are split "
                 "into words at blanks)" + how;
    else if (token.find('#') != std::string::npos)
        *error = "the operator token holds '#' (in the configuration file a comment starts there)" + how;
    else
        return true;
    return false;
}
