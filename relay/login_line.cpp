// Parsing the relay's login lines.
#include "relay/login_line.h"

#include <cstdio>
#include <vector>

namespace {

const char BLANKS[] = " \t\r";

std::vector<std::string> split_words(const std::string& line) {
    std::vector<std::string> words;
    size_t pos = 0;
    while (pos < line.size()) {
        size_t start = line.find_first_not_of(BLANKS, pos);
        if (start == std::string::npos) break;
        size_t end = line.find_first_of(BLANKS, start);
        if (end == std::string::npos) end = line.size();
        words.push_back(line.substr(start, end - start));
        pos = end;
    }
    return words;
}

}  // namespace

bool parse_session_code(const std::string& text, uint32_t* code) {
    if (text.size() != size_t(SESSION_CODE_DIGITS)) return false;
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + uint32_t(c - '0');
    }
    *code = value;
    return true;
}

bool parse_tool_line(const std::string& line, uint32_t* code) {
    size_t first = line.find_first_not_of(BLANKS);
    if (first == std::string::npos) return false;
    return parse_session_code(line.substr(first, line.find_last_not_of(BLANKS) - first + 1), code);
}

OperatorLine parse_operator_line(const std::string& line) {
    std::vector<std::string> words = split_words(line);
    OperatorLine parsed;
    if (words.size() == 2 && words[0] == "OPEN") {
        parsed.kind = OperatorLine::OPEN;
    } else if (words.size() == 3 && words[0] == "JOIN") {
        parsed.kind = OperatorLine::JOIN;
        parsed.code = words[2];
    } else {
        return parsed;
    }
    parsed.token = words[1];
    return parsed;
}

std::string session_code_text(uint32_t code) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*u", SESSION_CODE_DIGITS, unsigned(code));
    return text;
}
