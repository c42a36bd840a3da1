// The simulated module's command file: signal bits, event texts, demo and cable.
#include "sim/sim_commands.h"

#include <cstdlib>
#include <sstream>
#include <vector>

#include "sim/sim_module.h"

namespace {

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The signal bits named on a line: numbers 0..39, or "all" where allowed.
bool parse_bits(std::istringstream& words, bool allow_all, uint64_t* bits) {
    std::string word;
    *bits = 0;
    bool any = false;
    while (words >> word) {
        any = true;
        if (allow_all && word == "all") {
            *bits = SIM_SIGNAL_MASK;
            continue;
        }
        char* end = nullptr;
        const long bit = std::strtol(word.c_str(), &end, 10);
        if (*end || end == word.c_str() || bit < 0 || bit > 39) return false;
        *bits |= uint64_t(1) << bit;
    }
    return any;
}

// The rest of the line after the command word and one space.
std::string rest_of(const std::string& line, const std::string& command) {
    const size_t start = line.find(command) + command.size();
    return start < line.size() ? line.substr(start + 1) : std::string();
}

// "unplug" pulls the cable now; "unplug at-block N" once block N (0: the first) of a
// flash is written, "unplug at-write N" when the N-th configuration write arrives.
bool run_unplug(SimModule& module, std::istringstream& words) {
    std::vector<std::string> rest;
    for (std::string word; words >> word;) rest.push_back(word);
    if (rest.empty()) {
        module.unplug();
        return true;
    }
    char* end = nullptr;
    const long n = rest.size() == 2 ? std::strtol(rest[1].c_str(), &end, 10) : -1;
    if (!end || *end != '\0' || n < 0 || n > 0xFFFF) return false;
    if (rest[0] == "at-block") module.unplug_at_block(int(n));
    else if (rest[0] == "at-write" && n > 0) module.unplug_at_memory_write(int(n));
    else return false;
    return true;
}

bool run_line(SimModule& module, const std::string& line) {
    std::istringstream words(line);
    std::string command;
    if (!(words >> command) || command[0] == '#') return true;
    uint64_t bits = 0;
    if (command == "set" || command == "clear" || command == "release") {
        if (!parse_bits(words, command == "release", &bits)) return false;
        if (command == "set") module.hold_signals(bits, true);
        if (command == "clear") module.hold_signals(bits, false);
        if (command == "release") module.release_signals(bits);
        return true;
    }
    if (command == "event" || command == "text") {
        std::string text = decode_sim_text(rest_of(line, command));
        if (command == "event") text += "\r\n";
        module.queue_event_text(text);
        return true;
    }
    std::string word, extra;
    if (command == "demo" && words >> word && !(words >> extra) && (word == "on" || word == "off")) {
        module.set_demo(word == "on");
        return true;
    }
    if (command == "unplug") return run_unplug(module, words);
    if (command == "plug" && !(words >> extra)) {
        module.replug();
        return true;
    }
    return false;
}

}  // namespace

std::string decode_sim_text(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char next = text[++i];
        if (next == 'r') {
            out += '\r';
        } else if (next == 'n') {
            out += '\n';
        } else if (next == 't') {
            out += '\t';
        } else if (next == 'x' && i + 2 < text.size() && hex_value(text[i + 1]) >= 0 &&
                   hex_value(text[i + 2]) >= 0) {
            out += char(hex_value(text[i + 1]) * 16 + hex_value(text[i + 2]));
            i += 2;
        } else {
            out += next;
        }
    }
    return out;
}

void run_sim_commands(SimModule& module, const std::string& text, std::vector<std::string>* errors) {
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!run_line(module, line) && errors)
            errors->push_back("line " + std::to_string(number) + " \"" + line + "\" not understood");
    }
}
