// The event log's text: appending stamped messages, keeping within capacity, and the
// log file that mirrors it.
#include "diag/event_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

EventLog event_log;
EventLogHooks event_log_hooks;

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

bool write_all(int fd, const char* bytes, int count) {
    while (count > 0) {
        const ssize_t n = ::write(fd, bytes, size_t(count));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        count -= int(n);
    }
    return true;
}

// A log file whose last link was removed (its folder deleted, say) takes writes
// without complaint, yet nobody will ever read them: count it as lost.
bool still_reachable(int fd) {
    struct stat st {};
    return fstat(fd, &st) == 0 && (!S_ISREG(st.st_mode) || st.st_nlink > 0);
}

void write_to_file(const char* bytes, int count) {
    if (event_log.log_file < 0) return;
    if (write_all(event_log.log_file, bytes, count) && still_reachable(event_log.log_file)) return;
    char path[LOG_PATH_CAPACITY];
    std::memcpy(path, event_log.log_file_path, sizeof path);
    close_log_file();
    if (event_log_hooks.file_failed) event_log_hooks.file_failed(path);
}

// The start of the line holding text[end - 1].
const char* line_start_before(const char* text, int end) {
    int i = end - 1;
    while (i > 0 && text[i - 1] != '\n') --i;
    return text + (i > 0 ? i : 0);
}

}  // namespace

void log_message(LogDirection direction, const uint8_t* bytes, int count) {
    const int n = build_piece(direction, bytes, count);
    // Room for the whole piece, not just the usual 2048 bytes: a long message of line
    // ends grows far beyond its byte count.
    bool cut = false;
    while (LOG_CAPACITY - event_log.log_end <= LOG_MIN_FREE - 1 ||
           LOG_CAPACITY - event_log.log_end <= n) {
        drop_oldest();
        cut = true;
    }
    write_to_file(piece, n);
    char* start = event_log.log_text + event_log.log_end;
    std::memcpy(start, piece, size_t(n));
    event_log.log_end += n;
    event_log.log_text[event_log.log_end] = '\0';
    // A cut tells the view even when nothing was added: it must drop what the log lost.
    if (event_log_hooks.appended && (n > 0 || cut)) {
        // The line is judged from its real start, also when this piece only
        // continues a line an earlier message began.
        event_log_hooks.appended(start, n, line_start_before(event_log.log_text, event_log.log_end), cut);
    }
}

void log_event_text(const uint8_t* text, int count) { log_message(LOG_RECEIVED, text, count); }

void clear_log() {
    event_log.log_end = 0;
    event_log.log_text[0] = '\0';
    if (event_log_hooks.cleared) event_log_hooks.cleared();
}

bool open_log_file(const char* path) {
    close_log_file();
    if (std::strlen(path) >= sizeof event_log.log_file_path) return false;
    // Never blocking, neither opening (a pipe nobody reads) nor writing (a terminal
    // nobody reads fills up and would hold the GUI for good): a write that cannot
    // proceed at once fails, and the file is closed.
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISCHR(st.st_mode))) {
        ::close(fd);
        return false;
    }
    if (!write_all(fd, event_log.log_text, event_log.log_end)) {
        ::close(fd);
        return false;
    }
    event_log.log_file = fd;
    std::strcpy(event_log.log_file_path, path);
    return true;
}

void close_log_file() {
    if (event_log.log_file >= 0) ::close(event_log.log_file);
    event_log.log_file = -1;
    event_log.log_file_path[0] = '\0';
}

bool log_file_open() { return event_log.log_file >= 0; }
