// The console's texts without the window: the command code, the data escapes, the
// command history, the echo and the response line. No GTK here.
#pragma once

#include <cstdint>

// The command code from the first two characters of the command text: 0..255, or -1
// when either is not a hexadecimal digit or the text is shorter than two characters.
int parse_console_command(const char* text);

// The data bytes of a data text: "\x" or "\X" and two characters give the byte of
// those two hexadecimal digits (a bad digit counts as -1: a bad second digit gives
// 0xFF, a bad first one 0xF0 plus the second); a backslash and any other character
// give that character; every other character gives its own byte. An escape cut off
// by the end of the text gives nothing. Returns the number of bytes, or -1 when they
// would be more than `maximum` (nothing beyond `maximum` is written).
int parse_console_data(const char* text, uint8_t* bytes, int maximum);

// What the data entry takes: 125 bytes written as "\xHH" escapes.
constexpr int CONSOLE_DATA_MAX_CHARS = 500;

// The echo of a sent command: "\x", the first two characters of the command text as
// typed, a space, the data text and a newline. Returns its length (cut to fit `size`).
int format_console_echo(const char* command, const char* data, char* out, int size);

// The line logged for a reply with code 0x01 whose data bytes are data[0..n-1]:
// "01 - ", the bytes as upper-case hex, " - ", then in double quotes the bytes as
// characters (low 7 bits, below 32 shown as '?'), and a newline. Everything before
// the closing quote is cut to RESPONSE_TEXT_LIMIT characters. Returns the length;
// `out` must hold RESPONSE_LINE_CAPACITY bytes.
constexpr int RESPONSE_TEXT_LIMIT = 1020;
constexpr int RESPONSE_LINE_CAPACITY = RESPONSE_TEXT_LIMIT + 3;
int format_response_line(const uint8_t* data, int n, char* out);

// The commands sent, for recalling them with Up and Down. Lives as long as the
// program, across console windows.
constexpr int HISTORY_SLOTS = 100;
constexpr int HISTORY_COMMAND_CHARS = 3;
constexpr int HISTORY_DATA_CHARS = 99;

struct CommandHistory {
    char command[HISTORY_SLOTS][HISTORY_COMMAND_CHARS + 1] = {};
    char data[HISTORY_SLOTS][HISTORY_DATA_CHARS + 1] = {};
    int history_index = HISTORY_SLOTS - 1;   // the slot stored last
    int history_browse = HISTORY_SLOTS - 1;  // the slot the arrow keys show
};

extern CommandHistory command_history;

// A sent command goes into the next slot unless it equals the slot stored last
// (first 3 characters of the command, the whole data text).
void history_remember(CommandHistory& history, const char* command, const char* data);

// Up (step -1) or Down (step +1): the entries shown now are stored into the browsed
// slot, so an edited recalled line stays (unless both are empty, which would erase a
// sent command), and the browsed slot moves one place,
// wrapping round. Returns the slot now browsed, whose texts go into the entries.
int history_step(CommandHistory& history, const char* command, const char* data, int step);
