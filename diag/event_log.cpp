// The event log's text: appending stamped messages and keeping within capacity.
#include "diag/event_log.h"

#include <cstdio>
#include <cstring>
#include <ctime>

EventLog event_log;

namespace {

// One message can at most double in size per byte (LF -> CR LF) plus a stamp per line.
constexpr int MAX_PIECE = LOG_CAPACITY / 2;
char piece[MAX_PIECE];

int write_stamp(char* out, LogDirection direction) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "[%04d.%02d.%02d %02d:%02d:%02d]%c", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  char(direction));
    std::memcpy(out, stamp, LOG_STAMP_LENGTH);
    return LOG_STAMP_LENGTH;
}

// Builds the text a message adds to the log; stops early rather than overflow `piece`.
int build_piece(LogDirection direction, const uint8_t* bytes, int count) {
    int n = 0;
    if (direction == LOG_SENT) {
        event_log.line_start_pending = true;
        piece[n++] = '\n';
    }
    for (int i = 0; i < count; ++i) {
        if (n + LOG_STAMP_LENGTH + 2 > MAX_PIECE) break;
        if (event_log.line_start_pending) {
            event_log.line_start_pending = false;
            n += write_stamp(piece + n, direction);
        }
        const char c = char(bytes[i] & 0x7F);
        if (c == 0) break;
        if (c == '\n') {
            piece[n++] = '\r';
            event_log.line_start_pending = true;
        }
        if (c != '\r') piece[n++] = c;
    }
    return n;
}

void drop_oldest() {
    const int keep = event_log.log_end > LOG_CUT ? event_log.log_end - LOG_CUT : 0;
    std::memmove(event_log.log_text, event_log.log_text + (event_log.log_end - keep), size_t(keep));
    event_log.log_end = keep;
    event_log.log_text[keep] = '\0';
}

}  // namespace

void log_message(LogDirection direction, const uint8_t* bytes, int count) {
    const int n = build_piece(direction, bytes, count);
    // Room for the whole piece, not just the usual 2048 bytes: a long message of line
    // ends grows far beyond its byte count.
    while (LOG_CAPACITY - event_log.log_end <= LOG_MIN_FREE - 1 ||
           LOG_CAPACITY - event_log.log_end <= n) {
        drop_oldest();
    }
    std::memcpy(event_log.log_text + event_log.log_end, piece, size_t(n));
    event_log.log_end += n;
    event_log.log_text[event_log.log_end] = '\0';
}

void clear_log() {
    event_log.log_end = 0;
    event_log.log_text[0] = '\0';
}
