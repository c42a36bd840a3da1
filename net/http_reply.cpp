// Request texts and reply reading for the update check.
#include "net/http_reply.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr char MODEL_NAME[] = "QV450";
constexpr int OWN_MAJOR = 2;
constexpr int OWN_MINOR = 4;
constexpr char LENGTH_FIELD[] = "Content-Length: ";
constexpr int LENGTH_FIELD_SIZE = sizeof LENGTH_FIELD - 1;
constexpr int MAX_VERSION_DIGITS = 9;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The value of a length line's text after the field name; 0 when malformed.
long length_value(const char* p, const char* end) {
    long value = 0;
    const char* digits = p;
    for (; p < end && is_digit(*p); ++p) {
        value = value * 10 + (*p - '0');
        if (value > MAX_CONTENT_LENGTH) return 0;
    }
    if (p == digits) return 0;
    for (; p < end; ++p)
        if (*p != ' ' && *p != '\t' && *p != '\r') return 0;
    return value;
}

// Reads 1 to MAX_VERSION_DIGITS digits at `*p` (not past `end`).
bool read_number(const char*& p, const char* end, int* value) {
    int result = 0;
    int count = 0;
    while (p < end && is_digit(*p) && count < MAX_VERSION_DIGITS) {
        result = result * 10 + (*p++ - '0');
        ++count;
    }
    *value = result;
    return count > 0;
}

// The code of a status line such as "HTTP/1.0 404 Not Found"; 0 when it has none.
int status_code(const char* line, int size) {
    if (size < 12 || std::memcmp(line, "HTTP/", 5) != 0) return 0;
    const char* blank = static_cast<const char*>(std::memchr(line, ' ', size_t(size)));
    if (!blank || line + size - blank < 4) return 0;
    int code = 0;
    for (int i = 1; i <= 3; ++i) {
        if (!is_digit(blank[i])) return 0;
        code = code * 10 + (blank[i] - '0');
    }
    return line + size - blank > 4 && blank[4] != ' ' && blank[4] != '\r' ? 0 : code;
}

int fitted(int length, size_t size) { return length > 0 && size_t(length) < size ? length : 0; }

}  // namespace

ReplyHeader parse_reply_header(const char* data, int size) {
    ReplyHeader header;
    const int limit = size < REPLY_HEADER_SEARCH_SIZE ? (size > 0 ? size : 0) : REPLY_HEADER_SEARCH_SIZE;
    long length = 0;
    int pos = 0;
    while (pos < limit) {
        const void* found = std::memchr(data + pos, '\n', size_t(limit - pos));
        if (!found) break;
        const int newline = int(static_cast<const char*>(found) - data);
        int end = newline;
        while (end > pos && data[end - 1] == '\r') --end;
        if (pos == 0) header.status = status_code(data, end);
        if (end == pos) {
            header.complete = true;
            header.body_offset = newline + 1;
            header.content_length = length;
            return header;
        }
        if (end - pos >= LENGTH_FIELD_SIZE && std::memcmp(data + pos, LENGTH_FIELD, LENGTH_FIELD_SIZE) == 0)
            length = length_value(data + pos + LENGTH_FIELD_SIZE, data + newline);
        pos = newline + 1;
    }
    return header;
}

int build_version_request(char* out, size_t size, const char* host) {
    return fitted(std::snprintf(out, size, "GET http://%s/programator/%s_version HTTP/1.0\r\n\r\n", host,
                                MODEL_NAME),
                  size);
}

int build_installer_request(char* out, size_t size, const char* host, const char* file_name) {
    return fitted(std::snprintf(out, size, "GET http://%s/programator/%s HTTP/1.0\r\n\r\n", host, file_name), size);
}

bool parse_version_body(const char* body, int size, OfferedVersion* version) {
    static constexpr char word[] = "VERSION ";
    constexpr int word_size = sizeof word - 1;
    if (size < word_size || std::memcmp(body, word, word_size) != 0) return false;
    const char* p = body + word_size;
    const char* end = body + size;
    OfferedVersion v;
    if (!read_number(p, end, &v.major) || p >= end || *p++ != '.') return false;
    if (!read_number(p, end, &v.minor) || p >= end || *p++ != '.') return false;
    if (!read_number(p, end, &v.patch)) return false;
    *version = v;
    return true;
}

bool is_other_version(const OfferedVersion& offered) {
    return offered.major != OWN_MAJOR || offered.minor != OWN_MINOR;
}
