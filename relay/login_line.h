// The login lines of the relay's two ports, read apart from any socket.
//
// Tool port:     "<code>\n"                  the session code; blanks around it are a typing slip
// Operator port: "OPEN <token>\n"            opens a session
//                "JOIN <token> <code>\n"     joins an open one
// Words are separated by blanks (space, tab, CR).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A login line's bytes, its LF included. A line is read whole only when its text (without
// the LF) is at most LOGIN_LINE_MAX - 2 bytes: a longer one may be cut before its LF.
constexpr size_t LOGIN_LINE_MAX = 128;
constexpr int SESSION_CODE_DIGITS = 8;
constexpr uint32_t SESSION_CODE_SPACE = 100000000u;  // 10^SESSION_CODE_DIGITS

// The longest operator token whose "JOIN <token> <code>" line is always read whole.
constexpr size_t MAX_OPERATOR_TOKEN_LENGTH = LOGIN_LINE_MAX - 2 - (sizeof("JOIN ") - 1) - 1 - SESSION_CODE_DIGITS;

// True when `text` is a session code (exactly SESSION_CODE_DIGITS digits); *code gets its value.
bool parse_session_code(const std::string& text, uint32_t* code);

// The tool's line without its LF. True with *code when it holds one session code.
bool parse_tool_line(const std::string& line, uint32_t* code);

struct OperatorLine {
    enum Kind { MALFORMED, OPEN, JOIN } kind = MALFORMED;
    std::string token;
    std::string code;  // JOIN only, as sent: it may not be a code at all
};
// The operator's line without its LF.
OperatorLine parse_operator_line(const std::string& line);

// The code as the operator and the tool write it, with its leading zeros.
std::string session_code_text(uint32_t code);
