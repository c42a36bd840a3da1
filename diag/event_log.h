// The event log: time-stamped texts the module sends on its own and the console's
// traffic, kept in memory for the whole run.
#pragma once

#include <cstdint>

enum LogDirection {
    LOG_SENT = '<',      // typed by the user in the console
    LOG_RECEIVED = '>',  // came from the module
};

constexpr int LOG_CAPACITY = 200000;
// When fewer than this many bytes are free, the oldest LOG_CUT bytes are dropped.
constexpr int LOG_MIN_FREE = 2048;
constexpr int LOG_CUT = 50000;
// Characters of a line's time stamp and direction; the message starts after them.
constexpr int LOG_STAMP_LENGTH = 22;

struct EventLog {
    char log_text[LOG_CAPACITY] = {};  // zero-terminated, lines end in CR LF
    int log_end = 0;                   // where the next text goes
    bool line_start_pending = true;    // the next character starts a stamped line
};

extern EventLog event_log;

// Appends one message. Every line gets a local time stamp "[YYYY.MM.DD hh:mm:ss]"
// and the direction; only the low 7 bits of each byte count, a zero byte ends the
// message, LF becomes CR LF and a lone CR is dropped. A sent message starts on a
// line of its own.
void log_message(LogDirection direction, const uint8_t* bytes, int count);

// Empties the log text.
void clear_log();
