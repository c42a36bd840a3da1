// The event log: time-stamped texts the module sends on its own and the console's
// traffic, kept in memory for the whole run and optionally mirrored to a file.
// No GTK here: the console's view follows the log through EventLogHooks.
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
constexpr int LOG_PATH_CAPACITY = 4096;

struct EventLog {
    char log_text[LOG_CAPACITY] = {};  // zero-terminated, lines end in CR LF
    int log_end = 0;                   // where the next text goes
    bool line_start_pending = true;    // the next character starts a stamped line
    int log_file = -1;                 // file descriptor of the open log file, or -1
    char log_file_path[LOG_PATH_CAPACITY] = {};
};

extern EventLog event_log;

// What the console's view does when the log changes; null hooks are skipped.
struct EventLogHooks {
    // A message was appended: `piece` (count bytes, inside log_text) starts at its
    // first new character, `last_line` is the start of the line that holds the
    // piece's last character. `cut` tells that old text was dropped first; a cut
    // comes with a count of 0 when the message itself added nothing.
    void (*appended)(const char* piece, int count, const char* last_line, bool cut) = nullptr;
    // clear_log emptied the text.
    void (*cleared)() = nullptr;
    // The log file could not be written any more and has been closed.
    void (*file_failed)(const char* path) = nullptr;
};

extern EventLogHooks event_log_hooks;

// Appends one message. Every line gets a local time stamp "[YYYY.MM.DD hh:mm:ss]"
// and the direction; only the low 7 bits of each byte count, a zero byte ends the
// message, LF becomes CR LF and a lone CR is dropped. A sent message starts on a
// line of its own. The new text also goes to the log file when one is open.
void log_message(LogDirection direction, const uint8_t* bytes, int count);

// A text the module sent on its own, logged as received: the program hands it to the
// module link as the receiver of event texts (link_hooks in device/link.h).
void log_event_text(const uint8_t* text, int count);

// Empties the log text. The log file and the pending line start stay as they are.
void clear_log();

// Opens `path` for appending (created when missing, its content kept) and writes the
// whole current log text to it. False when it cannot be opened (or is a folder, a
// pipe or a socket), and false with the file closed again when the current text
// cannot be written. Writes to it never wait: one that cannot proceed at once (a
// terminal nobody reads) fails like a full disk, and the file is closed.
bool open_log_file(const char* path);
void close_log_file();
bool log_file_open();
